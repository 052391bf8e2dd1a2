#include "agent/AgentMoments.h"

#include <array>
#include <cstddef>

namespace duolume {
namespace {

using M = AgentMoment;

struct Row {
    AgentMoment moment;
    MomentRules rules;
};

// clang-format off
constexpr std::array<Row, 10> kMoments{{
    //                         why                                            smooth onlyIfMoved learns putsHoldsBack
    {M::Started,               {"started",                                    false, false,      false, false}},
    {M::LightChanged,          {"light changed",                              true,  true,       true,  false}},
    {M::SettingsChanged,       {"settings changed",                           false, false,      false, false}},
    {M::MonitorJoined,         {"monitor joined",                             true,  false,      true,  true}},
    {M::ChangedByOthers,       {"changed by someone else",                    false, true,       true,  false}},
    {M::FollowCurve,           {"asked to follow the curve",                  true,  false,      false, false}},
    {M::Woke,                  {"resumed from sleep",                         false, false,      false, true}},
    {M::IdleEnded,             {"back from idle",                             false, false,      false, true}},
    {M::ActiveAgain,           {"session active again",                       false, false,      false, false}},
    {M::DesktopSettingChanged, {"the desktop's automatic brightness changed", true,  true,       false, false}},
}};
// clang-format on

constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < kMoments.size(); ++i)
        if (static_cast<std::size_t>(kMoments[i].moment) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "one row per moment, in the enum's order");

}  // namespace

const MomentRules& rulesOf(AgentMoment moment) {
    return kMoments[static_cast<std::size_t>(moment)].rules;
}

}  // namespace duolume
