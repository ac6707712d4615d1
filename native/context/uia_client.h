#ifndef KORVEX_NATIVE_CONTEXT_UIA_CLIENT_H_
#define KORVEX_NATIVE_CONTEXT_UIA_CLIENT_H_

// The few UI Automation client interfaces this program calls. The SDK
// declares them; the MinGW-w64 headers do not, so they are declared here in
// the published vtable order. A slot this program never calls keeps its
// place with an empty parameter list: only its position matters to a caller,
// and a wrong position calls the wrong method.

#include <windows.h>
#include <ole2.h>

// MinGW-w64's UI Automation headers do not compile as C++: not included.
#if defined(_MSC_VER)
#include <uiautomation.h>
#endif

#ifndef __IUIAutomation_INTERFACE_DEFINED__

struct IUIAutomationTextRange : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Clone() = 0;
  virtual HRESULT STDMETHODCALLTYPE Compare() = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEndpoints() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindAttribute() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindText() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributeValue() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBoundingRectangles() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEnclosingElement() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetText(int max_length, BSTR* text) = 0;
  // ... further slots, not called here.
};

struct IUIAutomationTextRangeArray : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Length(int* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetElement(
      int index, IUIAutomationTextRange** element) = 0;
};

struct IUIAutomationTextPattern : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RangeFromPoint() = 0;
  virtual HRESULT STDMETHODCALLTYPE RangeFromChild() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSelection(
      IUIAutomationTextRangeArray** ranges) = 0;
  // ... further slots, not called here.
};

struct IUIAutomationElement : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRuntimeId() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindFirst() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindAll() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindFirstBuildCache() = 0;
  virtual HRESULT STDMETHODCALLTYPE FindAllBuildCache() = 0;
  virtual HRESULT STDMETHODCALLTYPE BuildUpdatedCache() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(
      int property_id, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValueEx() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValue() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValueEx() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(
      int pattern_id, REFIID riid, void** pattern) = 0;
  // ... further slots, not called here.
};

struct IUIAutomation : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CompareElements() = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareRuntimeIds() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRootElement() = 0;
  virtual HRESULT STDMETHODCALLTYPE ElementFromHandle() = 0;
  virtual HRESULT STDMETHODCALLTYPE ElementFromPoint() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFocusedElement(
      IUIAutomationElement** element) = 0;
  // ... further slots, not called here.
};

#endif  // __IUIAutomation_INTERFACE_DEFINED__

namespace uia {

// {FF48DBA4-60EF-4201-AA87-54103EEF594E}
constexpr CLSID kClsidCuiAutomation = {
    0xFF48DBA4, 0x60EF, 0x4201,
    {0xAA, 0x87, 0x54, 0x10, 0x3E, 0xEF, 0x59, 0x4E}};
// {30CBE57D-D9D0-452A-AB13-7AC5AC4825EE}
constexpr IID kIidIUIAutomation = {
    0x30CBE57D, 0xD9D0, 0x452A,
    {0xAB, 0x13, 0x7A, 0xC5, 0xAC, 0x48, 0x25, 0xEE}};
// {D22108AA-8AC5-49A5-837B-37BBB3D7591E}
constexpr IID kIidIUIAutomationElement = {
    0xD22108AA, 0x8AC5, 0x49A5,
    {0x83, 0x7B, 0x37, 0xBB, 0xB3, 0xD7, 0x59, 0x1E}};
// {32EBA289-3583-42C9-9C59-3B6D9A1E9B6A}
constexpr IID kIidIUIAutomationTextPattern = {
    0x32EBA289, 0x3583, 0x42C9,
    {0x9C, 0x59, 0x3B, 0x6D, 0x9A, 0x1E, 0x9B, 0x6A}};
// {CE4AE76A-E717-4C98-81EA-47371D028EB6}
constexpr IID kIidIUIAutomationTextRangeArray = {
    0xCE4AE76A, 0xE717, 0x4C98,
    {0x81, 0xEA, 0x47, 0x37, 0x1D, 0x02, 0x8E, 0xB6}};
// {A543CC6A-F4AE-494B-8239-C814481187A8}
constexpr IID kIidIUIAutomationTextRange = {
    0xA543CC6A, 0xF4AE, 0x494B,
    {0x82, 0x39, 0xC8, 0x14, 0x48, 0x11, 0x87, 0xA8}};

constexpr int kIsPasswordPropertyId = 30019;
constexpr int kTextPatternId = 10014;

}  // namespace uia

#endif  // KORVEX_NATIVE_CONTEXT_UIA_CLIENT_H_
