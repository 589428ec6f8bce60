#pragma once
// Waiting for what the event loop brings. QtTest's QTRY_ macros report to QtTest's own log and
// return from the function, so under GoogleTest their failures would pass unseen.
#include <QTest>

#include <gtest/gtest.h>

#define ASSERT_EVENTUALLY(Expr, TimeoutMs)                                                                   \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(Expr); }, TimeoutMs))                                      \
        << "still false after " << (TimeoutMs) << " ms: " #Expr
