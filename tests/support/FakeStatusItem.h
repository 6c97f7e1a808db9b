#pragma once

#include "platform/HandlerList.h"
#include "platform/StatusItem.h"

#include <vector>

// A scripted status item: the test presses buttons and places the pointer; menus "open" by being recorded,
// and `whileMenuOpen` runs as if during the menu's tracking.
class FakeStatusItem final : public StatusItem {
public:
    struct ShownMenu {
        std::shared_ptr<Menu> menu;
        QRectF anchor;
        double gap = 0;
    };

    void setImage(const StatusItemImage& newImage) override { image = newImage; }
    Observation addLocalMouseDownMonitor(MouseDownMonitor monitor) override {
        if (!monitorsInstallable)
            return {};
        return monitors_.add(std::move(monitor));
    }
    QPointF mouseLocation() const override { return pointer; }
    double statusBarThickness() const override { return thickness; }
    void popUpMenu(const std::shared_ptr<Menu>& menu, const QRectF& anchor, double gap) override {
        menus.push_back({menu, anchor, gap});
        if (whileMenuOpen)
            whileMenuOpen();
    }

    void setMenuProvider(MenuProvider provider) override { menuProvider = std::move(provider); }

    // True when a monitor consumed the press.
    bool press(const MouseDownEvent& event) {
        return monitors_.visitUntil([&event](const MouseDownMonitor& monitor) { return monitor(event); });
    }
    int monitorCount() const {
        return monitors_.countIf([](const MouseDownMonitor&) { return true; });
    }

    std::optional<StatusItemImage> image;
    QPointF pointer;
    double thickness = 24;
    bool monitorsInstallable = true;
    std::vector<ShownMenu> menus;
    std::function<void()> whileMenuOpen;
    MenuProvider menuProvider;

private:
    HandlerList<MouseDownMonitor> monitors_;
};
