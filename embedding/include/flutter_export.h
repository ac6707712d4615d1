#ifndef FLUTTER_EXPORT_H_
#define FLUTTER_EXPORT_H_

// Import and export annotations exist only for Windows libraries; elsewhere
// the headers compile with none, so the wrapper's core builds natively.
#ifndef FLUTTER_EXPORT
#ifdef _WIN32
#ifdef FLUTTER_DESKTOP_LIBRARY
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT
#endif
#endif  // FLUTTER_EXPORT

#ifndef FLUTTER_DEPRECATED
#if defined(__GNUC__) || defined(__clang__)
#define FLUTTER_DEPRECATED(message) __attribute__((deprecated(message)))
#elif defined(_MSC_VER)
#define FLUTTER_DEPRECATED(message) __declspec(deprecated(message))
#else
#define FLUTTER_DEPRECATED(message)
#endif
#endif  // FLUTTER_DEPRECATED

#endif  // FLUTTER_EXPORT_H_
