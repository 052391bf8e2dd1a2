// Why a sync runs, and what each reason allows: one row per moment.
#pragma once

namespace duolume {

enum class AgentMoment {
    Started,
    LightChanged,
    SettingsChanged,
    MonitorJoined,
    ChangedByOthers,
    FollowCurve,
    Woke,
    IdleEnded,
    ActiveAgain,
    DesktopSettingChanged,  // its automatic brightness went on or off
};

struct MomentRules {
    const char* why;   // the journal's reason: "light changed"
    bool smooth;       // fades rather than jumps
    bool onlyIfMoved;  // writes only what moved far enough (sensor noise moves nothing)
    // Takes what the displays show as someone else's choice. Not at start or
    // after a pause: then they show what the agent did not write (the
    // firmware's, the desktop's, the other user's), never a person's.
    bool learns;
    bool putsHoldsBack;  // writes a held value again, once (after sleep, idle, a re-plug)
};

const MomentRules& rulesOf(AgentMoment moment);

}  // namespace duolume
