#pragma once

// The lines of the adapters worked on at once, one for each slot, at the
// bottom of a terminal and written over in place as they change. Whatever
// else is written lifts the board first, and it is drawn again below.

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

class SlotBoard {
public:
    explicit SlotBoard(std::FILE *out) : out_(out) {}
    SlotBoard(const SlotBoard &) = delete;
    SlotBoard &operator=(const SlotBoard &) = delete;

    // The slot's line, drawn now when `now` (a task begins or ends) and
    // otherwise at most every few tenths of a second, which is all a person
    // can read of a bar that moves.
    void show(unsigned slot, std::string line, bool now);
    void remove(unsigned slot);

    // Takes the board off the terminal before other text is written there.
    void lift();
    // Draws it again after that text, if it was lifted.
    void restore();

    // The columns a slot's line may take without wrapping.
    int columns() const;

private:
    void draw();

    std::FILE *out_;
    std::map<unsigned, std::string> lines_;  // in slot order
    std::size_t drawn_ = 0;                  // lines on the terminal now
    bool lifted_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};
