// The standard about panel: icon, name, version, credits and copyright.
#pragma once

#include <QDialog>

#include "AppKit/NSApplication.h"

class QLabel;
class QTextBrowser;

namespace appkit {

// Child widgets carry object names for tests: "icon", "applicationName",
// "version", "credits", "copyright".
class AboutPanel : public QDialog {
    Q_OBJECT
  public:
    AboutPanel();
    void setOptions(const NSAboutPanelOptions& options);

  private:
    QLabel* icon_;
    QLabel* name_;
    QLabel* version_;
    QTextBrowser* credits_;
    QLabel* copyright_;
};

// Styled text as Qt rich text (HTML).
QString htmlFromAttributedString(const NSAttributedString& text);

}  // namespace appkit
