#include "ui/live_region_win.h"

// After windows.h, which they need.
#include <oleacc.h>
#include <oleauto.h>

#include "platform/win32/win32_util.h"

namespace kelto::ui {

namespace {
using platform::win32::ComInit;
using platform::win32::kOle32;

// Declared by UIAutomationClient.h, which this tool chain lacks; the values are Windows' own.
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr GUID kAccPropServicesClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID kAccPropServicesInterface = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr LONG kPolite = 1;  // LiveSetting: Polite
}  // namespace

// The annotation lives as long as the label: COM stays initialised on the window thread and the
// service object is held until the annotation is cleared.
struct LiveRegion::Annotation {
    ComInit com;
    IAccPropServices* services = nullptr;
};

LiveRegion::LiveRegion(HWND label) : label_(label) {
    static const auto coCreateInstance = KELTO_SYSTEM_FUNCTION(kOle32, CoCreateInstance);
    if (!coCreateInstance || !label_) return;
    auto* annotation = new Annotation;
    if (!annotation->com.ok() ||
        FAILED(coCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER, kAccPropServicesInterface,
                                reinterpret_cast<void**>(&annotation->services))) ||
        !annotation->services) {
        delete annotation;
        return;
    }
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kPolite;
    annotation->services->SetHwndProp(label_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty,
                                      polite);
    annotation_ = annotation;
}

LiveRegion::~LiveRegion() {
    if (!annotation_) return;
    MSAAPROPID property = kLiveSettingProperty;
    annotation_->services->ClearHwndProps(label_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
    annotation_->services->Release();
    delete annotation_;
}

void LiveRegion::Announce() {
    ::NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, label_, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace kelto::ui
