#include "services/CalendarEventsService.h"

#include "support/CapturingLogSink.h"
#include "support/InMemoryEventStore.h"
#include "support/QtPrinters.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const EventSource kPlaces{QStringLiteral("src-places"), QStringLiteral("Places")};

// How the service orders what people read (titles, by the user's locale) and what it stores (identifiers,
// by code point).
class CalendarOrderingTest : public ::testing::Test {
protected:
    CalendarOrderingTest() : defaults_(dir_.filePath(QStringLiteral("defaults.json"))) {
        store_->status = EventAuthorizationStatus::fullAccess;
    }

    CalendarEventsService& service() {
        if (!service_)
            service_ = std::make_unique<CalendarEventsService>(std::move(store_), defaults_);
        return *service_;
    }

    QStringList calendarTitles() {
        QStringList titles;
        for (const auto& group : service().calendarGroups())
            for (const auto& calendar : group.calendars)
                titles << calendar.title;
        return titles;
    }
    QStringList groups() {
        QStringList result;
        for (const auto& group : service().calendarGroups())
            result << group.id + u'=' + group.title;
        return result;
    }

    CapturingLogSink log_;
    QTemporaryDir dir_;
    UserDefaults defaults_;
    std::unique_ptr<InMemoryEventStore> store_ = std::make_unique<InMemoryEventStore>();
    std::unique_ptr<CalendarEventsService> service_;
};

} // namespace

TEST_F(CalendarOrderingTest, TitlesThatDifferOnlyInCaseKeepTheStoreOrder) {
    ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    // A case-sensitive collation would put "agenda" before "Agenda".
    store_->addCalendar("1", "Agenda", kPlaces);
    store_->addCalendar("2", "agenda", kPlaces);
    store_->addCalendar("3", "AGENDA", kPlaces);
    store_->addCalendar("4", "Äpfel", kPlaces);
    store_->addCalendar("5", "apfel", kPlaces);

    EXPECT_EQ(calendarTitles(), (QStringList{"Agenda", "agenda", "AGENDA", "apfel", "Äpfel"}));
}

TEST_F(CalendarOrderingTest, TitlesFollowTheUsersLocale) {
    store_->addCalendar("z", "Zeta", kPlaces);
    store_->addCalendar("o", "Öland", kPlaces);
    {
        ScopedCalendarPin german(QStringLiteral("de_DE"), QStringLiteral("Europe/Berlin"));
        EXPECT_EQ(calendarTitles(), (QStringList{"Öland", "Zeta"}));
    }
    // Swedish sorts Ö after Z; the order is taken afresh at every refresh.
    ScopedCalendarPin swedish(QStringLiteral("sv_SE"), QStringLiteral("Europe/Stockholm"));
    service().setCalendar("nothing", false);
    EXPECT_EQ(calendarTitles(), (QStringList{"Zeta", "Öland"}));
}

TEST_F(CalendarOrderingTest, SourcesWithOneTitleStayTwoGroups) {
    ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    store_->addCalendar("a", "Mail", EventSource{"acct-1", "Work"});
    store_->addCalendar("b", "Mail", EventSource{"acct-2", "work"});
    store_->addCalendar("c", "Loose");

    QStringList found = groups();
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found.takeFirst(), "?=Other");
    found.sort();
    EXPECT_EQ(found, (QStringList{"acct-1=Work", "acct-2=work"}));
}

TEST_F(CalendarOrderingTest, ExcludedIdentifiersAreStoredInCodePointOrder) {
    ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const QString fullwidthA = QString::fromUcs4(U"\uFF21");
    for (const QString& id : {emoji, QStringLiteral("a"), fullwidthA, QStringLiteral("B")})
        service().setCalendar(id, false);

    // Upper case before lower case; a supplementary character after every character of the basic plane,
    // though its first UTF-16 unit is smaller.
    EXPECT_EQ(defaults_.stringArray(CalendarEventsService::kExcludedCalendarIDsKey),
              (QStringList{"B", "a", fullwidthA, emoji}));
}
