// The about panel and the hardware notice of the Duolume pane.
#include "AppKit/NSAlert.h"
#include "AppKit/NSApplication.h"
#include "pane/DuolumePref.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace {

const std::string kNoticeMessageKey = "Please note";
const std::string kNoticeInformativeKey =
    "\u201C"
    "Duolume"
    "\u201D uses Apple private APIs. It might not work correctly with your hardware or "
    "software configuration.";

std::optional<std::string> stringFrom(const NSDictionary& info, const std::string& key) {
    auto it = info.find(key);
    if (it == info.end() || !it->second.stringValue())
        return std::nullopt;
    return *it->second.stringValue();
}

}  // namespace

void DuolumePref::about(NSControl*) {
    const NSDictionary& info = bundle().infoDictionary();
    const NSDictionary localizedInfo = bundle().localizedInfoDictionary();

    std::optional<NSAttributedString> credits;
    if (auto url = bundle().URLForResource("Credits", "rtf")) {
        credits = NSAttributedString::initWithURL(
            *url, {{NSDocumentTypeDocumentAttribute, NSRTFTextDocumentType}});
    }
    const std::optional<NSImage> icon = imageForResource(bundle(), "Duolume");
    const auto copyright = stringFrom(localizedInfo, "NSHumanReadableCopyright");
    const auto name = stringFrom(localizedInfo, "CFBundleName");
    const auto version = stringFrom(info, "CFBundleVersion");
    const auto shortVersion = stringFrom(info, "CFBundleShortVersionString");

    // The options end at the first value that could not be had; the panel
    // shows its own defaults for the rest.
    NSAboutPanelOptions options;
    auto add = [&options](const std::string& key, const auto& value) {
        if (!value)
            return false;
        options.push_back({key, *value});
        return true;
    };
    (void)(add(NSAboutPanelOptionCredits, credits) &&
           add(NSAboutPanelOptionApplicationIcon, icon) &&
           add(NSAboutPanelOptionCopyright, copyright) &&
           add(NSAboutPanelOptionApplicationName, name) &&
           add(NSAboutPanelOptionVersion, version) &&
           add(NSAboutPanelOptionApplicationVersion, shortVersion));
    NSApplication::sharedApplication().orderFrontStandardAboutPanelWithOptions(options);
}

void DuolumePref::didSelect() {
    if (duolume::settingsBool(duolume::fetchSettings(), duolume::kSuppressHardwareWarningKey))
        return;
    auto alert = std::make_shared<NSAlert>();
    alert->setMessageText(bundle().localizedStringForKey(kNoticeMessageKey, "", ""));
    alert->setInformativeText(bundle().localizedStringForKey(kNoticeInformativeKey, "", ""));
    alert->setShowsSuppressionButton(true);
    NSWindow* window = mainView() ? mainView()->window() : nullptr;
    alert->beginSheetModalForWindow(window, [this, alert](NSModalResponse) {
        const bool suppress = alert->suppressionButton().state() != NSControlStateValueOff;
        setPrefs(PlistValue::boolean(suppress), duolume::kSuppressHardwareWarningKey);
    });
}
