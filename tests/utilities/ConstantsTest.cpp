#include "utilities/Constants.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(Constants, VersionFallsBackOnlyWhenMissingOrNotText) {
    EXPECT_EQ(Constants::version(BundleInfo()), "0.1.0");
    EXPECT_EQ(Constants::version(BundleInfo({{"CFBundleShortVersionString", 2}})), "0.1.0");
    EXPECT_EQ(Constants::version(BundleInfo({{"CFBundleShortVersionString", " 2.1 "}})), " 2.1 ");
    EXPECT_FALSE(Constants::version().isEmpty());
}

TEST(Constants, GoogleRedirectUriReversesTheClientIdentifier) {
    EXPECT_EQ(Constants::Google::redirectURI("a.b.c"), "c.b.a:/oauth2redirect");
    EXPECT_EQ(Constants::Google::redirectURI("a..b"), "b.a:/oauth2redirect");
    EXPECT_EQ(Constants::Google::redirectURI(""), ":/oauth2redirect");
    EXPECT_EQ(Constants::Auth::redirectURI().toString(), "mondrel://auth/callback");
    EXPECT_EQ(Constants::Auth::privacyURL().path(), "/privacy/mondrel");
    EXPECT_EQ(Constants::Auth::authorityURL().scheme(), "https");
    EXPECT_TRUE(Constants::Auth::identityURL().path().isEmpty());
}
