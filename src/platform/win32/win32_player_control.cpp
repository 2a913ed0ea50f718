#include "platform/win32/win32_player_control.h"

#include <ole2.h>
#include <oleauto.h>

#include <vector>

namespace platform::win32 {

namespace {

// A BSTR owned by the object.
class OwnedBstr {
  public:
    explicit OwnedBstr(const std::string& text) {
        const int length =
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        value_ = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (value_ && length > 0)
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), value_,
                                length);
    }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(value_); }
    BSTR get() const { return value_; }

  private:
    BSTR value_ = nullptr;
};

// A VARIANT cleared with the object.
struct OwnedVariant {
    VARIANT value;
    OwnedVariant() { VariantInit(&value); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value); }
};

std::string ansiText(BSTR text) {
    const int wide = static_cast<int>(SysStringLen(text));
    if (wide == 0)
        return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, wide, result.data(), length, nullptr, nullptr);
    return result;
}

CLSID playerClassId() {
    CLSID id{};
    wchar_t text[64] = {};
    MultiByteToWideChar(CP_ACP, 0, kPlayerClassId, -1, text, 64);
    CLSIDFromString(text, &id);
    return id;
}

class Win32PlayerControl final : public PlayerControl {
  public:
    explicit Win32PlayerControl(IDispatch* control) : control_(control) {}
    Win32PlayerControl(const Win32PlayerControl&) = delete;
    Win32PlayerControl& operator=(const Win32PlayerControl&) = delete;
    ~Win32PlayerControl() override { control_->Release(); }

    std::optional<std::string> getVariable(const std::string& name) override {
        DISPID member = 0;
        wchar_t memberName[] = L"GetVariable";
        LPOLESTR names[] = {memberName};
        if (FAILED(control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member)))
            return std::nullopt;
        OwnedBstr argumentText(name);
        if (!argumentText.get())
            return std::nullopt;
        VARIANTARG argument;
        VariantInit(&argument);
        argument.vt = VT_BSTR;
        argument.bstrVal = argumentText.get();
        DISPPARAMS parameters{&argument, nullptr, 1, 0};
        OwnedVariant answer;
        if (FAILED(control_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &parameters, &answer.value, nullptr, nullptr)))
            return std::nullopt;
        if (answer.value.vt != VT_BSTR &&
            FAILED(VariantChangeType(&answer.value, &answer.value, 0, VT_BSTR)))
            return std::nullopt;
        return ansiText(answer.value.bstrVal);
    }

  private:
    IDispatch* control_;
};

} // namespace

Win32PlayerControls::~Win32PlayerControls() {
    if (comStarted_)
        OleUninitialize();
}

std::unique_ptr<PlayerControl> Win32PlayerControls::create() {
    if (!comStarted_)
        comStarted_ = SUCCEEDED(OleInitialize(nullptr));
    IDispatch* control = nullptr;
    if (FAILED(CoCreateInstance(playerClassId(), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&control))) ||
        !control)
        return nullptr;
    return std::make_unique<Win32PlayerControl>(control);
}

} // namespace platform::win32
