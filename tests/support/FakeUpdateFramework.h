#pragma once

#include "platform/HandlerList.h"
#include "platform/UpdateFramework.h"

#include <memory>

// An update framework under the test's control: the test sets the updater's flag, reports its changes and
// ends update cycles; `checks` counts the checks asked for.
class FakeUpdateFramework final : public UpdateFramework {
public:
    class FakeUpdater final : public Updater {
    public:
        bool canCheckForUpdates() const override { return canCheck; }
        Observation observeCanCheckForUpdates(std::function<void()> report) override {
            report();
            return reports_.add(std::move(report));
        }
        // Changes the flag and reports the change.
        void setCanCheck(bool value) {
            canCheck = value;
            reports_.visitUntil([](const std::function<void()>& report) {
                report();
                return false;
            });
        }
        int observerCount() const {
            return reports_.countIf([](const std::function<void()>&) { return true; });
        }

        bool canCheck = false;

    private:
        HandlerList<std::function<void()>> reports_;
    };

    class FakeController final : public UpdaterController {
    public:
        explicit FakeController(FakeUpdateFramework& framework) : framework_(framework) {}
        Updater& updater() override { return framework_.updater; }
        void checkForUpdates() override { ++framework_.checks; }

    private:
        FakeUpdateFramework& framework_;
    };

    std::unique_ptr<UpdaterController> startController(UpdaterDelegate& newDelegate) override {
        ++starts;
        delegate = &newDelegate;
        return std::make_unique<FakeController>(*this);
    }

    FakeUpdater updater;
    UpdaterDelegate* delegate = nullptr;
    int starts = 0;
    int checks = 0;
};
