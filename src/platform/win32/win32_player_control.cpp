#include "platform/win32/win32_player_control.h"

#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <type_traits>
#include <vector>

#include "platform/win32/win32_messaging.h"

namespace platform::win32 {

namespace {

// A COM interface pointer released with the object.
template <typename Interface> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ~ComPtr() { reset(); }
    void reset() {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }
    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For calls that hand out a new reference.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&pointer_);
    }

  private:
    Interface* pointer_ = nullptr;
};

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

GUID guidOf(const char* text) {
    GUID id{};
    wchar_t wide[64] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    CLSIDFromString(wide, &id);
    return id;
}

// A dispatch argument list built from our values; strings live as long as
// the list.
class Arguments {
  public:
    explicit Arguments(const std::vector<DispatchValue>& values) {
        // Dispatch arguments go last first.
        for (auto it = values.rbegin(); it != values.rend(); ++it) {
            VARIANTARG argument;
            VariantInit(&argument);
            if (const auto* flag = std::get_if<bool>(&*it)) {
                argument.vt = VT_BOOL;
                argument.boolVal = *flag ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (const auto* number = std::get_if<std::int32_t>(&*it)) {
                argument.vt = VT_I4;
                argument.lVal = *number;
            } else {
                texts_.push_back(std::make_unique<OwnedBstr>(std::get<std::string>(*it)));
                argument.vt = VT_BSTR;
                argument.bstrVal = texts_.back()->get();
            }
            arguments_.push_back(argument);
        }
    }
    VARIANTARG* data() { return arguments_.empty() ? nullptr : arguments_.data(); }
    UINT count() const { return static_cast<UINT>(arguments_.size()); }

  private:
    std::vector<std::unique_ptr<OwnedBstr>> texts_;
    std::vector<VARIANTARG> arguments_;
};

bool dispatchIdOf(IDispatch& control, const std::string& name, DISPID& id) {
    std::wstring wide(name.begin(), name.end());
    LPOLESTR names[] = {wide.data()};
    return SUCCEEDED(control.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

bool invokeMethod(IDispatch& control, const std::string& name,
                  const std::vector<DispatchValue>& values, VARIANT* answer) {
    DISPID id = 0;
    if (!dispatchIdOf(control, name, id))
        return false;
    Arguments arguments(values);
    DISPPARAMS parameters{arguments.data(), nullptr, arguments.count(), 0};
    return SUCCEEDED(control.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                    answer, nullptr, nullptr));
}

std::optional<std::string> getVariableOf(IDispatch& control, const std::string& name) {
    OwnedVariant answer;
    if (!invokeMethod(control, "GetVariable", {name}, &answer.value))
        return std::nullopt;
    if (answer.value.vt != VT_BSTR &&
        FAILED(VariantChangeType(&answer.value, &answer.value, 0, VT_BSTR)))
        return std::nullopt;
    return ansiText(answer.value.bstrVal);
}

// A control created for a query only.
class QueryPlayerControl final : public PlayerControl {
  public:
    explicit QueryPlayerControl(ComPtr<IDispatch> control) : control_(std::move(control)) {}

    std::optional<std::string> getVariable(const std::string& name) override {
        return getVariableOf(*control_.get(), name);
    }
    bool setProperty(std::int32_t, const DispatchValue&) override { return false; }
    bool callMethod(const std::string& name, const std::vector<DispatchValue>& values) override {
        OwnedVariant answer;
        return invokeMethod(*control_.get(), name, values, &answer.value);
    }
    bool doVerb(std::int32_t) override { return false; }

  private:
    ComPtr<IDispatch> control_;
};

// Reference counting for the container's own COM objects, which the control
// may keep a little longer than we do.
class RefCounted {
  protected:
    virtual ~RefCounted() = default;
    ULONG addReference() { return ++references_; }
    ULONG dropReference() {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

  private:
    std::atomic<ULONG> references_{1};
};

// The control's site in our container: client site, in-place site and
// in-place frame in one object. The control is placed at (0, 0) in the
// parent window with the size given.
class PlayerSite final : public IOleClientSite,
                         public IOleInPlaceSite,
                         public IOleInPlaceFrame,
                         private RefCounted {
  public:
    PlayerSite(HWND parent, int width, int height) : parent_(parent), rect_{0, 0, width, height} {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(id, IID_IOleWindow) || IsEqualIID(id, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(id, IID_IOleInPlaceUIWindow) || IsEqualIID(id, IID_IOleInPlaceFrame))
            *object = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return dropReference(); }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = parent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = this;
            AddRef();
        }
        if (document)
            *document = nullptr;
        if (position)
            *position = rect_;
        if (clip)
            *clip = rect_;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = parent_;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tools or borders.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    const RECT& rect() const { return rect_; }

  private:
    HWND parent_;
    RECT rect_;
};

// Receives the control's events through its connection point and hands
// them on as texts.
class PlayerEventSink final : public IDispatch, private RefCounted {
  public:
    PlayerEventSink(GUID events, PlayerEventHandler handler)
        : events_(events), handler_(std::move(handler)) {}

    void disconnect() { handler_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IDispatch) &&
            !IsEqualIID(id, events_))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return dropReference(); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        std::vector<std::string> arguments;
        if (parameters) {
            // Dispatch arguments come last first.
            for (UINT i = parameters->cArgs; i-- > 0;) {
                OwnedVariant text;
                if (SUCCEEDED(VariantChangeType(&text.value, &parameters->rgvarg[i], 0, VT_BSTR)))
                    arguments.push_back(ansiText(text.value.bstrVal));
                else
                    arguments.emplace_back();
            }
        }
        if (handler_)
            handler_(static_cast<std::int32_t>(id), arguments);
        return S_OK;
    }

  private:
    GUID events_;
    PlayerEventHandler handler_;
};

// A control placed in a window by our container.
class PlacedPlayerControl final : public PlayerControl {
  public:
    ~PlacedPlayerControl() override {
        if (connection_ && cookie_ != 0)
            connection_->Unadvise(cookie_);
        if (sink_) {
            sink_->disconnect();
            sink_->Release();
        }
        if (object_) {
            ComPtr<IOleInPlaceObject> inPlace;
            if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, inPlace.out())))
                inPlace->InPlaceDeactivate();
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        connection_.reset();
        control_.reset();
        object_.reset();
        if (site_)
            site_->Release();
    }

    // Creates an instance of the control; false when there is none.
    bool create() {
        return SUCCEEDED(CoCreateInstance(guidOf(kPlayerClassId), nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IOleObject, object_.out())) &&
               object_;
    }

    // Places the created instance in the window and connects its events;
    // false when it cannot be placed there. The instance stays either way.
    bool place(HWND parent, int width, int height, PlayerEventHandler onEvent) {
        if (FAILED(object_->QueryInterface(IID_IDispatch, control_.out())) || !control_)
            return false;
        site_ = new PlayerSite(parent, width, height);
        object_->SetClientSite(site_);
        ComPtr<IPersistStreamInit> persist;
        if (SUCCEEDED(object_->QueryInterface(IID_IPersistStreamInit, persist.out())))
            persist->InitNew();
        object_->SetHostNames(L"Installer", nullptr);
        RECT rect = site_->rect();
        if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &rect)))
            return false;

        const GUID events = guidOf(kPlayerEventsId);
        ComPtr<IConnectionPointContainer> points;
        if (SUCCEEDED(object_->QueryInterface(IID_IConnectionPointContainer, points.out())) &&
            SUCCEEDED(points->FindConnectionPoint(
                events, reinterpret_cast<IConnectionPoint**>(connection_.out())))) {
            sink_ = new PlayerEventSink(events, std::move(onEvent));
            if (FAILED(connection_->Advise(sink_, &cookie_)))
                cookie_ = 0;
        }
        return true;
    }

    std::optional<std::string> getVariable(const std::string& name) override {
        if (!control_)
            return std::nullopt;
        return getVariableOf(*control_.get(), name);
    }

    bool setProperty(std::int32_t dispatchId, const DispatchValue& value) override {
        if (!control_)
            return false;
        Arguments arguments({value});
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{arguments.data(), &named, 1, 1};
        return SUCCEEDED(control_->Invoke(dispatchId, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYPUT, &parameters, nullptr, nullptr,
                                          nullptr));
    }

    bool callMethod(const std::string& name, const std::vector<DispatchValue>& values) override {
        if (!control_)
            return false;
        OwnedVariant answer;
        return invokeMethod(*control_.get(), name, values, &answer.value);
    }

    bool doVerb(std::int32_t verb) override {
        if (!site_)
            return false;
        RECT rect = site_->rect();
        HWND parent = nullptr;
        site_->GetWindow(&parent);
        return SUCCEEDED(object_->DoVerb(verb, nullptr, site_, 0, parent, &rect));
    }

  private:
    ComPtr<IOleObject> object_;
    ComPtr<IDispatch> control_;
    ComPtr<IConnectionPoint> connection_;
    PlayerSite* site_ = nullptr;      // one reference, ours
    PlayerEventSink* sink_ = nullptr; // one reference, ours
    DWORD cookie_ = 0;
};

} // namespace

Win32PlayerControls::~Win32PlayerControls() {
    if (oleStarted_)
        OleUninitialize();
}

void Win32PlayerControls::startCom() {
    if (!oleStarted_)
        oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
}

std::unique_ptr<PlayerControl> Win32PlayerControls::create() {
    startCom();
    ComPtr<IDispatch> control;
    if (FAILED(CoCreateInstance(guidOf(kPlayerClassId), nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDispatch, control.out())) ||
        !control)
        return nullptr;
    return std::make_unique<QueryPlayerControl>(std::move(control));
}

PlayerCreation Win32PlayerControls::createInWindow(WindowHandle parent, int width, int height,
                                                   PlayerEventHandler onEvent) {
    startCom();
    auto control = std::make_unique<PlacedPlayerControl>();
    if (!control->create())
        return {};
    const bool placed = control->place(windowFrom(parent), width, height, std::move(onEvent));
    return {std::move(control), placed};
}

} // namespace platform::win32
