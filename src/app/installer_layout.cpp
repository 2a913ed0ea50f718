#include "app/installer_layout.h"

#include <algorithm>
#include <array>

#include "base/texts.h"
#include "system/saver_names.h"

namespace layout {

namespace {

struct ControlEntry {
    Control control;
    std::string_view name;
    ControlState InstallerFormLayout::*member;
    std::optional<Control> parent;
};

constexpr std::array<ControlEntry, kControlCount> kControls{{
    {Control::contentPanel, "contentPanel", &InstallerFormLayout::contentPanel, std::nullopt},
    {Control::bmpPanel, "bmpPanel", &InstallerFormLayout::bmpPanel, Control::contentPanel},
    {Control::moviePanel1, "moviePanel1", &InstallerFormLayout::moviePanel1, Control::contentPanel},
    {Control::licenseScrollBox, "licenseScrollBox", &InstallerFormLayout::licenseScrollBox,
     std::nullopt},
    {Control::buttonPanel, "buttonPanel", &InstallerFormLayout::buttonPanel, std::nullopt},
    {Control::labFile, "labFile", &InstallerFormLayout::labFile, Control::buttonPanel},
    {Control::labCopying, "labCopying", &InstallerFormLayout::labCopying, Control::buttonPanel},
    {Control::installbutn, "installbutn", &InstallerFormLayout::installbutn, Control::buttonPanel},
    {Control::progressBar, "progressBar", &InstallerFormLayout::progressBar, Control::buttonPanel},
    {Control::installBtn, "installBtn", &InstallerFormLayout::installBtn, Control::buttonPanel},
    {Control::doneBtn, "doneBtn", &InstallerFormLayout::doneBtn, Control::buttonPanel},
    {Control::cancelBtn, "cancelBtn", &InstallerFormLayout::cancelBtn, Control::buttonPanel},
}};

const ControlEntry& entryOf(Control control) {
    return kControls[static_cast<std::size_t>(control)];
}

int previewBottom(const InstallerFormLayout& form) {
    return form.contentPanel.bounds.top + form.contentPanel.bounds.height;
}

// The pictures fill the preview panel inside its one-pixel bevel.
void setContentPanelSize(InstallerFormLayout& form, Size size) {
    form.contentPanel.bounds.width = size.width;
    form.contentPanel.bounds.height = size.height;
    const Bounds inside{1, 1, size.width - 2, size.height - 2};
    form.bmpPanel.bounds = inside;
    form.moviePanel1.bounds = inside;
}

// The controls anchored to the button panel's right or bottom edge follow it:
// the status line and the progress bar stretch, Close moves. Install and
// Cancel are placed by FormResize right after.
void setButtonPanelBounds(InstallerFormLayout& form, const Bounds& bounds) {
    const int widthChange = bounds.width - form.buttonPanel.bounds.width;
    const int heightChange = bounds.height - form.buttonPanel.bounds.height;
    form.buttonPanel.bounds = bounds;
    form.labCopying.bounds.width += widthChange;
    form.progressBar.bounds.width += widthChange;
    form.doneBtn.bounds.left += widthChange;
    form.doneBtn.bounds.top += heightChange;
}

int constrained(int value, int minimum, int maximum) {
    if (maximum > 0 && value > maximum)
        return maximum;
    if (minimum > 0 && value < minimum)
        return minimum;
    return value;
}

void updateClientSize(InstallerFormLayout& form) {
    const NonClientSize frame = frameOf(form);
    form.client = {form.outer.width - frame.width, form.outer.height - frame.height};
}

} // namespace

std::string_view controlName(Control control) {
    return entryOf(control).name;
}

std::optional<Control> parentOf(Control control) {
    return entryOf(control).parent;
}

InstallerFormLayout makeInstallerForm(const FrameSizes& frames) {
    InstallerFormLayout form;
    form.frames = frames;
    updateClientSize(form);
    // Bounds, visible, enabled and caption as in the form resource.
    form.contentPanel = {{0, 1, 482, 272}, true, true, ""};
    form.bmpPanel = {{1, 1, 480, 270}, true, true, ""};
    form.moviePanel1 = {{1, 1, 480, 270}, true, true, ""};
    form.licenseScrollBox = {{0, 272, 482, 137}, true, true, ""};
    form.buttonPanel = {{0, 410, 482, kButtonPanelHeight}, true, true, ""};
    form.labFile = {{-1, 2, 190, 18}, false, true, ""};
    form.labCopying = {{2, 3, 619, 13}, false, true, std::string(text::kStatusLineDesignCaption)};
    form.installbutn = {{24, 40, 3, 13}, false, false, ""};
    form.progressBar = {{1, 20, 480, 12}, true, true, ""};
    form.installBtn = {{401, 36, kInstallButtonWidth, 25},
                       true,
                       true,
                       std::string(text::kInstallButtonDesignCaption)};
    form.doneBtn = {{400, 36, 80, 25}, false, true, ""};
    form.cancelBtn = {{316, 36, 80, 25}, true, true, std::string(text::kButtonCancel.text)};
    return form;
}

ControlState& control(InstallerFormLayout& form, Control which) {
    return form.*entryOf(which).member;
}

const ControlState& control(const InstallerFormLayout& form, Control which) {
    return form.*entryOf(which).member;
}

NonClientSize frameOf(const InstallerFormLayout& form) {
    return form.border == BorderStyle::fixed ? form.frames.fixed : form.frames.sizeable;
}

Size constrainToLimits(const SizeLimits& limits, Size requested) {
    return {constrained(requested.width, limits.minWidth, limits.maxWidth),
            constrained(requested.height, limits.minHeight, limits.maxHeight)};
}

void setOuterSize(InstallerFormLayout& form, Size requested) {
    const Size allowed = constrainToLimits(form.limits, requested);
    if (allowed == form.outer)
        return;
    form.outer = allowed;
    updateClientSize(form);
    FormResize(form);
}

void setClientHeight(InstallerFormLayout& form, int clientHeight) {
    setOuterSize(form, {form.outer.width, clientHeight + frameOf(form).height});
}

void setBorder(InstallerFormLayout& form, BorderStyle border) {
    if (border == form.border)
        return;
    form.border = border;
    updateClientSize(form);
    FormResize(form);
}

void setSizeLimits(InstallerFormLayout& form, const SizeLimits& limits) {
    form.limits = limits;
    setOuterSize(form, form.outer);
}

void userResize(InstallerFormLayout& form, Size requested) {
    if (form.border == BorderStyle::sizeable)
        setOuterSize(form, requested);
}

void FormResize(InstallerFormLayout& form) {
    const int nonClientHeight = form.outer.height - form.client.height;
    setButtonPanelBounds(form, {1, form.outer.height - nonClientHeight - kButtonPanelHeight,
                                form.client.width - 2, kButtonPanelHeight});
    placeButtons(form);
    const int licenceHeight = form.buttonPanel.bounds.top - 2 - (previewBottom(form) + 4);
    form.licenseScrollBox.bounds = {0, previewBottom(form) + 2, form.client.width,
                                    std::max(licenceHeight, kLicenceBoxMinHeight)};
}

void placeButtons(InstallerFormLayout& form) {
    Bounds& cancel = form.cancelBtn.bounds;
    Bounds& install = form.installBtn.bounds;
    cancel.left = form.buttonPanel.bounds.width - kButtonPanelMargin - cancel.width;
    install.left = cancel.left - kButtonGap - install.width;
}

void fitClientHeight(InstallerFormLayout& form) {
    int height = previewBottom(form) + 2;
    if (form.licenseScrollBox.visible)
        height += form.licenseScrollBox.bounds.height + 4;
    setClientHeight(form, height + form.buttonPanel.bounds.height);
}

void layoutInstallerForm(InstallerFormLayout& form) {
    placeButtons(form);
    fitClientHeight(form);
}

void setPreparationSizes(InstallerFormLayout& form) {
    setOuterSize(form, {kInstallerWidth, form.outer.height});
    setContentPanelSize(form, kPreviewSize);
}

void setInstallerCaption(InstallerFormLayout& form, const ResourceTexts& texts,
                         std::string_view saverTitle) {
    form.caption = makeInstallCaption(texts, saverTitle);
}

void setupLicenceAndButtons(InstallerFormLayout& form, const ResourceTexts& texts,
                            LicenceSetup licence) {
    SizeLimits limits = form.limits;
    switch (licence) {
    case LicenceSetup::shown:
        form.licenseScrollBox.visible = true;
        setBorder(form, BorderStyle::sizeable);
        form.licenseScrollBox.bounds.height = kLicenceBoxMinHeight;
        limits.minHeight = previewBottom(form) + 2 + form.licenseScrollBox.bounds.height + 4 +
                           form.buttonPanel.bounds.height + kLicenceMinHeightAllowance;
        limits.minWidth = kInstallerWidth;
        limits.maxWidth = kInstallerWidth;
        setSizeLimits(form, limits);
        form.installBtn.bounds.width = kAcceptButtonWidth;
        form.installBtn.caption = texts.get(text::kAcceptAndInstall);
        form.cancelBtn.visible = true;
        break;
    case LicenceSetup::none: {
        form.installBtn.bounds.width = kInstallButtonWidth;
        form.installBtn.caption = texts.get(text::kInstall);
        form.licenseScrollBox.visible = false;
        setBorder(form, BorderStyle::fixed);
        const int height = previewBottom(form) + 4 + form.buttonPanel.bounds.height;
        limits.minHeight = height;
        setSizeLimits(form, limits);
        setClientHeight(form, height);
        break;
    }
    case LicenceSetup::failed:
        break;
    }
    placeButtons(form);
    form.cancelBtn.caption = texts.get(text::kButtonCancel);
    form.doneBtn.caption = texts.get(text::kClose);
}

void showPicturePreview(InstallerFormLayout& form) {
    form.moviePanel1.visible = false;
    form.bmpPanel.visible = true;
}

void centerInstallerForm(InstallerFormLayout& form, int screenWidth, int screenHeight) {
    form.position = centredPosition(form.outer, screenWidth, screenHeight);
}

void moveInstallerFormOffScreen(InstallerFormLayout& form) {
    form.position = kOffScreenPosition;
}

} // namespace layout
