#include "cli/slot_board.h"

#include "platform/console.h"
#include "platform/device_text.h"

namespace {

constexpr auto drawingPause = std::chrono::milliseconds(200);
constexpr int defaultColumns = 80;

// The line cut to `room` columns, between two characters.
std::string fitted(const std::string &line, std::size_t room)
{
    std::size_t columns = 0;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const bool starts = (static_cast<unsigned char>(line[at]) & 0xC0) != 0x80;
        if (starts && ++columns > room)
            return line.substr(0, at);
    }
    return line;
}

}  // namespace

int SlotBoard::columns() const
{
    const int columns = platform::terminalColumns(out_);
    return columns > 0 ? columns : defaultColumns;
}

void SlotBoard::show(unsigned slot, std::string line, bool now)
{
    lines_[slot] = std::move(line);
    if (now || std::chrono::steady_clock::now() - lastDrawn_ >= drawingPause)
        draw();
}

void SlotBoard::remove(unsigned slot)
{
    if (lines_.erase(slot) > 0)
        draw();
}

void SlotBoard::lift()
{
    if (drawn_ > 0) {
        // Up to the board's first line, and everything from there cleared.
        std::fprintf(out_, "\x1b[%zuA\r\x1b[J", drawn_);
        std::fflush(out_);
        drawn_ = 0;
        lifted_ = true;
    }
}

void SlotBoard::restore()
{
    if (lifted_)
        draw();
}

void SlotBoard::draw()
{
    lift();
    lifted_ = false;
    // Each line short of the width, so that none wraps and the count of
    // lines to go back up stays true.
    const auto room = static_cast<std::size_t>(columns() - 1);
    for (const auto &[slot, line] : lines_) {
        std::fputs(fitted(line, room).c_str(), out_);
        std::fputc('\n', out_);
    }
    std::fflush(out_);
    drawn_ = lines_.size();
    lastDrawn_ = std::chrono::steady_clock::now();
}
