// What screen readers are told about the controls beyond what their classes say, through
// the accessibility layer's dynamic annotation (oleacc's IAccPropServices). COM and the
// service are reached at run time, so a system without them runs as before, unannotated.
#include <initguid.h>  // defines the GUIDs oleacc.h names, here, instead of importing them

#include "win32/win32_os.h"

#include <iterator>
#include <string>
#include <utility>

namespace vantrel {

static_assert(win::kRoleSystemLink == ROLE_SYSTEM_LINK && win::kRoleSystemGraphic == ROLE_SYSTEM_GRAPHIC &&
              win::kStateSystemFocusable == STATE_SYSTEM_FOCUSABLE &&
              win::kStateSystemLinked == STATE_SYSTEM_LINKED);

namespace {

// The annotated properties, all cleared together when the window goes.
const MSAAPROPID kAnnotated[] = {PROPID_ACC_ROLE, PROPID_ACC_STATE, PROPID_ACC_NAME};

// A fixed state would hide the focus from the screen reader: it is answered when asked,
// with the system's own focused and invisible states added as they are at that moment.
class StateServer final : public IAccPropServer {
 public:
  StateServer(HWND control, DWORD state) : control_(control), state_(state) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = iid == __uuidof(IUnknown) || iid == IID_IAccPropServer ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT* value, BOOL* has) override {
    value->vt = VT_I4;
    value->lVal = static_cast<LONG>(state_ | (GetFocus() == control_ ? STATE_SYSTEM_FOCUSED : 0) |
                                    (IsWindowVisible(control_) ? 0 : STATE_SYSTEM_INVISIBLE));
    *has = TRUE;
    return S_OK;
  }

 private:
  ~StateServer() = default;
  HWND control_;
  DWORD state_;
  LONG references_ = 1;
};

// The program's texts are in the system's ANSI code page, the service takes UTF-16.
std::wstring Wide(const std::string& text) {
  const int length = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), length)));
  return wide;
}

void Annotate(IAccPropServices& services, HWND control, const ControlAnnotation& annotation) {
  if (annotation.role != 0) {
    VARIANT role{};
    role.vt = VT_I4;
    role.lVal = annotation.role;
    services.SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_ROLE, role);
  }
  if (annotation.state != 0) {
    const scoped::ComPtr<StateServer> server(new StateServer(control, annotation.state));
    services.SetHwndPropServer(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &PROPID_ACC_STATE, 1,
                               server.get(), ANNO_THIS);
  }
  if (!annotation.name.empty()) {
    services.SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                            Wide(annotation.name).c_str());
  }
}

}  // namespace

IAccPropServices* Win32Os::AnnotationServices() {
  if (std::exchange(annotationServicesAsked_, true)) return annotationServices_.get();
  const auto create = com_.Enter() ? com_.Find<decltype(&CoCreateInstance)>("CoCreateInstance") : nullptr;
  if (create == nullptr) return nullptr;
  void* services = nullptr;
  if (SUCCEEDED(create(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices, &services))) {
    annotationServices_.reset(static_cast<IAccPropServices*>(services));
  }
  return annotationServices_.get();
}

void Win32Os::AnnotateControl(WindowHandle window, uint32_t controlId, const ControlAnnotation& annotation) {
  HWND control = GetDlgItem(Hwnd(window), static_cast<int>(controlId));
  IAccPropServices* services = control != nullptr ? AnnotationServices() : nullptr;
  if (services != nullptr) Annotate(*services, control, annotation);
}

// The service holds what it was told until told to forget it, also for a window that is gone.
void Win32Os::ForgetAnnotations(HWND window) {
  if (annotationServices_ == nullptr) return;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    annotationServices_->ClearHwndProps(child, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kAnnotated,
                                        static_cast<int>(std::size(kAnnotated)));
  }
}

}  // namespace vantrel
