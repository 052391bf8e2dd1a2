// KWin's own description of the displays, as a Wayland client of KWin reads
// it: the output devices (kde_output_device_v2) and their configuration
// (kde_output_management_v2). Plasma 6.6 and later tell only here whether a
// display's brightness follows the ambient light (the auto_brightness
// capability and event); no bus service and no file says it.
//
// The connection lives on a thread of its own, so no caller waits for the
// compositor to answer, except a switch that asks to. Without a Wayland
// display, or with a compositor that lacks these interfaces, every answer is
// NotKnown; a missing display or a lost connection is tried again after
// kReconnectSeconds, another compositor (GNOME's) is not asked again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform::linux_machine {

enum class OutputAutomaticBrightness {
    NotKnown,       // not connected (yet), or the compositor does not say
    NoSuchSetting,  // the built-in display has no automatic brightness
    On,
    Off,
};

class KdeOutputDevices {
  public:
    // `log` receives what went wrong, once per kind of failure, and `changed`
    // each new answer; both on the client's thread.
    KdeOutputDevices(std::function<void(const std::string&)> log, std::function<void()> changed);
    ~KdeOutputDevices();
    KdeOutputDevices(const KdeOutputDevices&) = delete;
    KdeOutputDevices& operator=(const KdeOutputDevices&) = delete;

    // The built-in display's automatic brightness as the compositor last told.
    OutputAutomaticBrightness builtinAutomaticBrightness() const;
    // Whether a switch-off would be asked at all, as last told: connected,
    // the built-in display has automatic brightness, and the compositor's
    // configuration offers the request at the version bound.
    bool canSwitchOffBuiltinAutomaticBrightness() const;
    // Waits at most `timeout` for the first answer after connecting; true
    // when there is one (which may still be NotKnown).
    bool waitForFirstAnswer(std::chrono::milliseconds timeout) const;
    // Asks the compositor to switch the built-in display's automatic
    // brightness off and waits at most `timeout` for its answer. False, with
    // `why`, when it refused, did not answer or cannot be asked.
    bool switchOffBuiltinAutomaticBrightness(std::chrono::milliseconds timeout, std::string* why);

    static constexpr int kReconnectSeconds = 30;

  private:
    struct Connection;
    struct Request;
    void run();
    void publish(OutputAutomaticBrightness state, bool switchable, bool answered);

    std::function<void(const std::string&)> log_;
    std::function<void()> changedHandler_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    OutputAutomaticBrightness state_ = OutputAutomaticBrightness::NotKnown;
    bool switchable_ = false;
    bool answered_ = false;
    bool stopping_ = false;
    std::shared_ptr<Request> request_;  // a switch waiting for the client's thread
    int wakeFd_ = -1;                   // eventfd: a request or the end
    std::thread thread_;
};

}  // namespace platform::linux_machine
