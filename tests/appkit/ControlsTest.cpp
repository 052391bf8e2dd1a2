// The AppKit controls over real Qt widgets, loaded from a Designer file:
// outlets and actions by name, tags, values in both directions, and actions
// sent for the user's changes only.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "AppKit/NSButton.h"
#include "AppKit/NSLevelIndicator.h"
#include "AppKit/NSNib.h"
#include "AppKit/NSSlider.h"
#include "AppKit/QtPeers.h"
#include "appkit/OffscreenApp.h"
#include "sim/SimMachine.h"
#include "support/TempDir.h"

using platform::sim::SimMachine;

namespace {

const char* kInterface = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>Test</class>
<widget class="QWidget" name="Test"><layout class="QVBoxLayout" name="l">
<item><widget class="QCheckBox" name="toggle"><property name="action" stdset="0"><string>toggled:</string></property></widget></item>
<item><widget class="QSlider" name="level"><property name="orientation"><enum>Qt::Vertical</enum></property>
 <property name="maximum"><number>1000</number></property>
 <property name="tag" stdset="0"><number>105</number></property>
 <property name="action" stdset="0"><string>moved:</string></property></widget></item>
<item><widget class="QProgressBar" name="meter"><property name="maximum"><number>1000</number></property></widget></item>
<item><widget class="QPushButton" name="press"><property name="action" stdset="0"><string>nowhere:</string></property></widget></item>
<item><widget class="QWidget" name="row"><property name="visible"><bool>false</bool></property></widget></item>
</layout></widget></ui>)";

class Owner {
  public:
    void toggled(NSButton* sender) { toggles.push_back(sender->objectValue()); }
    void moved(NSSlider* sender) { moves.push_back(sender->doubleValue()); }
    std::vector<PlistValue> toggles;
    std::vector<double> moves;
};

}  // namespace

class NibControls : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::offscreenApp();
        sim_ = &SimMachine::installNew();
        testing_support::writeFile(dir_ / "Test.ui", kInterface);
        connections_.outlet("toggle", toggle_);
        connections_.outlet("level", level_);
        connections_.outlet("meter", meter_);
        connections_.outlet("press", wrongKind_);  // a push button is no slider
        connections_.outlet("absent", absent_);
        connections_.outlet("row", row_);
        connections_.action("toggled:", &owner_, &Owner::toggled);
        connections_.action("moved:", &owner_, &Owner::moved);
        std::string error;
        nib_ = NSNib::load(dir_ / "Test.ui", connections_, &error);
        ASSERT_TRUE(nib_) << error;
        root_ = appkit::widgetForView(&nib_->topLevelView());
        ASSERT_TRUE(root_);
        root_->show();
    }
    template <class W>
    W* widget(const char* name) {
        return root_->findChild<W*>(name);
    }

    testing_support::TempDir dir_;
    SimMachine* sim_ = nullptr;
    Owner owner_;
    NSNibConnections connections_;
    std::unique_ptr<NSNib> nib_;
    QWidget* root_ = nullptr;
    NSButton* toggle_ = nullptr;
    NSSlider* level_ = nullptr;
    NSLevelIndicator* meter_ = nullptr;
    NSSlider* wrongKind_ = nullptr;
    NSSlider* absent_ = nullptr;
    NSView* row_ = nullptr;
};

TEST_F(NibControls, OutletsAreFilledByNameAndMismatchesAreLoggedAndLeftEmpty) {
    ASSERT_TRUE(toggle_ && level_ && meter_);
    EXPECT_EQ(wrongKind_, nullptr);
    EXPECT_EQ(absent_, nullptr);
    EXPECT_EQ(level_->tag(), 105);
    auto logged = [&](const std::string& part) {
        for (const auto& line : sim_->logLines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(logged("absent"));
    EXPECT_TRUE(logged("press"));
    EXPECT_TRUE(logged("nowhere:"));
}

TEST_F(NibControls, SliderShowsTheValueAndSendsItsActionOnlyForTheUser) {
    auto* slider = widget<QSlider>("level");
    level_->setObjectValue(PlistValue::realSingle(0.1f));
    EXPECT_EQ(slider->value(), 100);
    EXPECT_DOUBLE_EQ(level_->doubleValue(), static_cast<double>(0.1f));  // kept exactly as set
    EXPECT_TRUE(owner_.moves.empty());

    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);  // one page step of the user's
    ASSERT_EQ(owner_.moves.size(), 1u);
    EXPECT_DOUBLE_EQ(owner_.moves[0], slider->value() / 1000.0);

    // Dragging reports every position before the knob is let go.
    slider->setSliderDown(true);
    slider->setSliderPosition(420);
    slider->setSliderPosition(430);
    EXPECT_EQ(owner_.moves.size(), 3u);
    EXPECT_DOUBLE_EQ(owner_.moves.back(), 0.43);
    slider->setSliderDown(false);

    level_->setObjectValue(std::nullopt);  // empty: the bottom of the range
    EXPECT_EQ(slider->value(), 0);
    level_->setDoubleValue(7.5);  // beyond the range: pinned to its end
    EXPECT_EQ(slider->value(), 1000);
    EXPECT_EQ(owner_.moves.size(), 3u);
}

TEST_F(NibControls, SwitchReportsItsStateAsAnIntegerAfterAClick) {
    auto* box = widget<QCheckBox>("toggle");
    toggle_->setObjectValue(PlistValue::boolean(true));
    EXPECT_TRUE(box->isChecked());
    toggle_->setObjectValue(std::nullopt);
    EXPECT_FALSE(box->isChecked());
    toggle_->setObjectValue(PlistValue::string("yes"));  // not a number: off
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(owner_.toggles.empty());

    QTest::keyClick(box, Qt::Key_Space);
    ASSERT_EQ(owner_.toggles.size(), 1u);
    EXPECT_EQ(owner_.toggles[0], PlistValue::integer(1));
    EXPECT_EQ(toggle_->intValue(), 1);
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(owner_.toggles.back(), PlistValue::integer(0));
}

TEST_F(NibControls, LevelIndicatorKeepsTheLevelAndShowsNegativeLevelsEmpty) {
    auto* bar = widget<QProgressBar>("meter");
    meter_->setDoubleValue(3.7);
    EXPECT_EQ(bar->value(), 370);
    meter_->setDoubleValue(12.0);  // above the scale: full
    EXPECT_EQ(bar->value(), 1000);
    meter_->setDoubleValue(-2.0);
    EXPECT_DOUBLE_EQ(meter_->doubleValue(), -2.0);
    EXPECT_EQ(bar->value(), bar->minimum());
    meter_->setDoubleValue(std::nan(""));
    EXPECT_EQ(bar->value(), bar->minimum());
}

TEST_F(NibControls, ViewsAreHiddenAsTheInterfaceSaysAndAsTheProgramSays) {
    ASSERT_TRUE(row_);
    auto* row = widget<QWidget>("row");
    EXPECT_TRUE(row_->isHidden());
    EXPECT_FALSE(row->isVisible());
    EXPECT_FALSE(meter_->isHidden());  // not yet shown by Qt is not hidden
    row_->setHidden(false);
    EXPECT_TRUE(row->isVisible());
    meter_->setHidden(true);
    EXPECT_FALSE(widget<QProgressBar>("meter")->isVisible());
}

TEST(NibLoading, AnUnreadableInterfaceIsAnErrorNotACrash) {
    testing_support::offscreenApp();
    SimMachine::installNew();
    testing_support::TempDir dir;
    NSNibConnections connections;
    std::string error;
    EXPECT_FALSE(NSNib::load(dir / "missing.ui", connections, &error));
    EXPECT_FALSE(error.empty());
    testing_support::writeFile(dir / "broken.ui", R"(<ui version="4.0"><widget class="QWidget")");
    EXPECT_FALSE(NSNib::load(dir / "broken.ui", connections, &error));
}
