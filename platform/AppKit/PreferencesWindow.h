// The preferences host's window: one or more panes, a sidebar to switch
// between them when there are several, and the panes' lifecycle: the
// interface is loaded at the first selection (mainViewDidLoad), then
// willSelect, shown, didSelect; switching away or closing calls willUnselect,
// hides the pane, didUnselect.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "AppKit/NSPreferencePane.h"

class QListWidget;
class QStackedWidget;

namespace appkit {

class PreferencesWindow : public QWidget {
    Q_OBJECT
  public:
    PreferencesWindow();
    ~PreferencesWindow() override;

    void addPane(std::unique_ptr<NSPreferencePane> pane);
    int paneCount() const { return static_cast<int>(panes_.size()); }
    NSPreferencePane& pane(int index) const { return *panes_.at(index).pane; }

    // Unselects the shown pane, then selects pane `index`.
    void selectPane(int index);
    // Unselects the shown pane (as switching away or closing does).
    void unselectPane();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Entry {
        std::unique_ptr<NSPreferencePane> pane;
        QWidget* page = nullptr;  // the pane's view, or a note that it could not be loaded
    };
    QWidget* pageFor(Entry& entry);
    void fitHeightToPage();

    QListWidget* sidebar_;
    QStackedWidget* stack_;
    std::vector<Entry> panes_;
    int current_ = -1;
};

// The label and icon file of a pane: the localized "NSPrefPaneIconLabel" or
// "CFBundleName", and the resource named by "NSPrefPaneIconFile".
QString paneLabel(const NSBundle& bundle);
QString paneIconPath(const NSBundle& bundle);

}  // namespace appkit
