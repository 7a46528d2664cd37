// Waiting in tests for something another process or the event loop brings
// about, as GoogleTest assertions (QtTest's QTRY_* macros report to QtTest and
// would pass a GoogleTest test silently).
#pragma once

#include <gtest/gtest.h>

#include <QtTest/QTest>

// Lets events run until `actual == expected` or `ms` milliseconds have passed,
// then checks it, printing both values on failure.
#define EXPECT_EVENTUALLY_EQ(actual, expected, ms)                         \
    do {                                                                   \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, ms); \
        EXPECT_EQ(actual, expected);                                       \
    } while (0)

#define ASSERT_EVENTUALLY_TRUE(condition, ms)                                            \
    do {                                                                                 \
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, ms)) << #condition; \
    } while (0)
