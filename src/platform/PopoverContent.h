#pragma once

#include <optional>

// What the status item needs of its popover's content to keep it still and on the screen while it is open:
// the content grows and shrinks with what it shows, and gives up room where it can scroll. Heights are in
// device-independent pixels.
class PopoverContent {
public:
    virtual ~PopoverContent() = default;

    // The tallest the content can become within its limit, whatever it shows: placed for this height, it
    // changes size away from the part that stays put.
    virtual int tallestHeight() = 0;
    // The most height the screen has for it, or nothing for no limit.
    virtual void setHeightLimit(std::optional<int> height) = 0;
};
