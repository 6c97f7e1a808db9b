#include "app/AppServices.h"

#include "platform/EventStore.h"
#include "platform/MainQueue.h"

AppServices::AppServices(Platform platform)
    : bridge_(platform.secretStore, [&queue = platform.mainQueue] { return queue.now(); }), account_(bridge_),
      calendar_(platform.mainQueue.now(), platform.mainQueue),
      events_(platform.makeEventStore(), platform.defaults),
      google_(GoogleCalendarService::Environment{platform.mainQueue, platform.secretStore}),
      updater_(platform.mainQueue, platform.windowSystem, platform.defaults, platform.updateFramework),
      launchAtLogin_(platform.loginItems) {}

SceneEnvironment AppServices::environment() {
    return {account_, calendar_, events_, google_, bridge_, updater_, launchAtLogin_};
}
