#include "AppKit/PreferencesWindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QStackedWidget>
#include <algorithm>

#include "AppKit/QtBridge.h"

namespace appkit {
namespace {

QString infoText(const NSDictionary& info, const std::string& key) {
    auto it = info.find(key);
    return it != info.end() && it->second.stringValue()
               ? QString::fromStdString(*it->second.stringValue())
               : QString();
}

}  // namespace

QString paneLabel(const NSBundle& bundle) {
    const NSDictionary info = bundle.localizedInfoDictionary();
    QString label = infoText(info, "NSPrefPaneIconLabel");
    if (label.isEmpty())
        label = infoText(info, "CFBundleName");
    return label.isEmpty() ? QString::fromStdString(bundle.bundlePath()).section('/', -1) : label;
}

QString paneIconPath(const NSBundle& bundle) {
    const QString file = infoText(bundle.infoDictionary(), "NSPrefPaneIconFile");
    if (file.isEmpty())
        return {};
    const QString name = file.section('.', 0, -2).isEmpty() ? file : file.section('.', 0, -2);
    const QString type = file.contains('.') ? file.section('.', -1) : QString();
    auto path = bundle.pathForResource(name.toStdString(), type.toStdString());
    return path ? QString::fromStdString(*path) : QString();
}

PreferencesWindow::PreferencesWindow() {
    setObjectName("PreferencesWindow");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    sidebar_ = new QListWidget(this);
    sidebar_->setObjectName("paneList");
    sidebar_->setIconSize(QSize(32, 32));
    sidebar_->setFixedWidth(180);
    sidebar_->hide();
    stack_ = new QStackedWidget(this);
    layout->addWidget(sidebar_);
    layout->addWidget(stack_, 1);
    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != current_)
            selectPane(row);
    });
}

PreferencesWindow::~PreferencesWindow() {
    // Sheets go first, while the panes their handlers refer to still exist.
    for (QDialog* sheet : findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
        delete sheet;
    unselectPane();
    for (auto& entry : panes_) {
        if (entry.page)
            stack_->removeWidget(entry.page);
    }
    panes_.clear();  // the panes' interfaces go with them
}

void PreferencesWindow::addPane(std::unique_ptr<NSPreferencePane> pane) {
    const QString label = paneLabel(pane->bundle());
    sidebar_->addItem(new QListWidgetItem(QIcon(paneIconPath(pane->bundle())), label));
    panes_.push_back({std::move(pane), nullptr});
    sidebar_->setVisible(panes_.size() > 1);
}

QWidget* PreferencesWindow::pageFor(Entry& entry) {
    if (entry.page)
        return entry.page;
    NSView* view = entry.pane->loadMainView();
    QWidget* widget = widgetForView(view);
    if (!widget) {
        auto* note = new QLabel(tr("This preference pane could not be loaded."));
        note->setAlignment(Qt::AlignCenter);
        widget = note;
    }
    stack_->addWidget(widget);
    widget->installEventFilter(this);  // its layout requests, see eventFilter
    entry.page = widget;
    return widget;
}

void PreferencesWindow::selectPane(int index) {
    if (index < 0 || index >= paneCount())
        return;
    if (index == current_)
        return;
    unselectPane();
    Entry& entry = panes_[index];
    QWidget* page = pageFor(entry);
    const bool loaded = entry.pane->mainView() != nullptr;
    if (loaded)
        entry.pane->willSelect();
    stack_->setCurrentWidget(page);
    page->show();  // hidden when it was unselected; already current, the stack shows nothing
    current_ = index;
    sidebar_->setCurrentRow(index);
    setWindowTitle(paneLabel(entry.pane->bundle()));
    const QString icon = paneIconPath(entry.pane->bundle());
    if (!icon.isEmpty())
        setWindowIcon(QIcon(icon));
    fitHeightToPage();
    if (loaded)
        entry.pane->didSelect();
}

void PreferencesWindow::unselectPane() {
    if (current_ < 0)
        return;
    Entry& entry = panes_[current_];
    current_ = -1;
    if (!entry.pane->mainView())
        return;
    entry.pane->willUnselect();
    entry.page->hide();
    entry.pane->didUnselect();
}

// Qt keeps a window at least as large as its layout's minimum, and for a
// wrapped text that minimum is one line: a page whose texts wrap to several
// lines at the window's width would be squeezed until its controls are drawn
// over one another. The window keeps the height the page needs at its width
// instead, and grows when a text of the page gets longer or the window
// narrower.
void PreferencesWindow::fitHeightToPage() {
    QLayout* frame = layout();
    const QSize least = frame->totalMinimumSize();
    const int needed = frame->hasHeightForWidth()
                           ? std::max(least.height(), frame->totalHeightForWidth(width()))
                           : least.height();
    if (minimumSize() != QSize(least.width(), needed))
        setMinimumSize(least.width(), needed);  // grows the window when it is lower
}

bool PreferencesWindow::event(QEvent* event) {
    // Qt hands an event to a widget's layout before its filters and its
    // handler (QApplicationPrivate::notify_helper, qapplication.cpp): the
    // window's layout has taken the request in, the page's needs are known.
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        fitHeightToPage();
    return handled;
}

bool PreferencesWindow::eventFilter(QObject* watched, QEvent* event) {
    // Qt hands a page's new needs up one level per turn of the event loop
    // (page, stack, window), so the page would be drawn squeezed in between.
    // The page's own layout has taken the request in by now (see event());
    // the window is fitted at once.
    if (event->type() == QEvent::LayoutRequest && watched == stack_->currentWidget()) {
        stack_->updateGeometry();  // the window's layout forgets what it knew of the stack
        fitHeightToPage();
    }
    return QWidget::eventFilter(watched, event);
}

void PreferencesWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitHeightToPage();
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
    unselectPane();
    event->accept();
}

}  // namespace appkit
