#pragma once

#include "models/DayEvent.h"
#include "platform/EventStore.h"
#include "services/google/GoogleConnectionState.h"
#include "views/ViewEnvironment.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// What the button of a source prompt does.
enum class SourcePromptAction { openCalendarPrivacySettings, openSettings, requestAccess };

// The one-line explanation shown instead of the list when no source can contribute, with the button that
// fixes the cause.
struct SourcePrompt {
    QString text;
    QString buttonTitle;
    SourcePromptAction action;

    bool operator==(const SourcePrompt&) const = default;
};

// Everything one rendering of the day list reads. The event lists are asked for only when they are shown.
struct DayEventsReading {
    bool showSystemCalendars = true;
    EventAuthorizationStatus authorization = EventAuthorizationStatus::notDetermined;
    bool hasIncludedCalendars = false;
    GoogleConnectionState googleState = GoogleConnectionState::notConfigured();
    bool googleIsLoading = false;
    std::function<QList<DayEvent>()> googleEvents;
    std::function<QList<DayEvent>()> systemEvents;
};

// What the day list draws.
struct DayEventsDescription {
    enum class Content { events, checking, nothingScheduled, prompt };

    QString heading;
    Content content = Content::nothingScheduled;
    // The rows, Google's first where both sources hold an event (Content::events).
    QList<DayEvent> events;
    // The line shown while checking or when nothing is scheduled.
    QString message;
    std::optional<SourcePrompt> prompt;
};

// The selected day's events from the Google source and the local calendars, merged into one list, or a
// prompt that explains why neither can contribute. Holds no state but the day; announces `changed` whenever
// anything it reads changes.
class DayEventsSection final : public QObject {
    Q_OBJECT
public:
    static inline const QString kShowSystemCalendarsKey = QStringLiteral("mondrel.showSystemCalendars");
    static constexpr int kSpacing = 6;
    static constexpr int kMaximumListHeight = 170;
    static constexpr int kTimeColumnWidth = 58;
    static constexpr int kRowSpacing = 8;
    static constexpr int kDotDiameter = 6;
    static constexpr int kPromptSpacing = 4;

    DayEventsSection(const ViewEnvironment& environment, Instant day, QObject* parent = nullptr);

    Instant day() const { return day_; }
    // A new day asks the Google source to cover it while the list is shown.
    void setDay(Instant day);
    // The list came on screen: the Google source is asked to cover the day.
    void appear();
    void disappear() { shown_ = false; }

    DayEventsReading read() const;
    DayEventsDescription description() const { return describe(read(), day_); }

    static DayEventsDescription describe(const DayEventsReading& reading, Instant day);
    // The local calendars contribute: switched on, readable and at least one included.
    static bool isSystemActive(const DayEventsReading& reading);
    static SourcePrompt sourcePrompt(EventAuthorizationStatus authorization);

    void perform(SourcePromptAction action);

    // Linux has no privacy pane for calendars: access is the calendar folder's permissions, which the user
    // fixes in the folder that holds it.
    static void openCalendarPrivacySettings(Workspace& workspace, const QString& calendarFolder);

signals:
    void changed();

private:
    ViewEnvironment environment_;
    Instant day_;
    bool shown_ = false;
};
