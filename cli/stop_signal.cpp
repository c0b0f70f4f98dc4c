#include "cli/stop_signal.h"

#include <list>
#include <mutex>

#include "platform/stop_signals.h"

namespace {

// The lines of one state, and the StopNotices that point into them. Kept
// for the program's life once made: a handler may be reading the old ones
// while new ones are set.
struct NoticeTexts {
    std::string first[3];
    std::string second[3];
    platform::StopNotices notices{};
};

std::mutex lock;
std::list<NoticeTexts> made;
StopState state = StopState::idle;
std::string unfinishedRecording;

void setNotices()
{
    NoticeTexts &texts = made.emplace_back();
    for (int i = 0; i < 3; ++i) {
        const std::string name = platform::stopRequestName(i);
        texts.first[i] = "vantrel-flash: " + name + ": " +
                         (state == StopState::idle ? std::string("stopping\n")
                                                   : std::string("stopping the work on the adapter") +
                                                         (state == StopState::workingOnSeveral ? "s" : "") +
                                                         " now; a second stop ends vantrel-flash at once\n");
        texts.second[i] = "vantrel-flash: " + name + ", a second stop: ended at once" +
                          (unfinishedRecording.empty()
                               ? std::string()
                               : "; the unfinished recording is left in " + unfinishedRecording) +
                          "\n";
        texts.notices.first[i] = texts.first[i].c_str();
        texts.notices.second[i] = texts.second[i].c_str();
    }
    platform::setStopNotices(&texts.notices);
}

}  // namespace

void catchStopSignals()
{
    const std::lock_guard<std::mutex> guard(lock);
    setNotices();
    platform::catchStopRequests(&made.back().notices);
}

void setStopState(StopState newState)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (newState == state)
        return;
    state = newState;
    setNotices();
}

void setUnfinishedRecording(const std::string &path)
{
    const std::lock_guard<std::mutex> guard(lock);
    unfinishedRecording = path;
    setNotices();
}

int stopSignal() { return platform::stopRequest(); }

int exitCodeAfter(int signal) { return 128 + signal; }
