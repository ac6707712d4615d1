#ifndef FLUTTER_EXPORT_H_
#define FLUTTER_EXPORT_H_

#ifdef FLUTTER_DESKTOP_LIBRARY
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif

#endif  // FLUTTER_EXPORT_H_
