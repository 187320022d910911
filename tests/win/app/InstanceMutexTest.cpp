// The single-instance guard: a second guard over the same name sees the
// first, and the name is free again once the first is gone.
#include "app/InstanceMutex.h"

#include <gtest/gtest.h>

namespace {

const char kName[] = "{BAF5C721-F6F1-4971-9B35-3902F130C6C3}-test";

TEST(InstanceMutex, SecondGuardSeesTheFirstUntilItIsGone)
{
    {
        CInstanceMutex first(kName);
        EXPECT_FALSE(first.alreadyExists());
        EXPECT_FALSE(first.anotherInstance());
        EXPECT_TRUE(static_cast<bool>(first.m_hMutex));
        CInstanceMutex second(kName);
        EXPECT_TRUE(second.alreadyExists());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), second.m_dwLastError);
    }
    CInstanceMutex again(kName);
    EXPECT_FALSE(again.alreadyExists());
}

TEST(InstanceMutex, FailedCreationLeavesNoHandle)
{
    // A name with a backslash outside a namespace prefix cannot be created.
    CInstanceMutex bad("no\\such\\namespace");
    EXPECT_FALSE(static_cast<bool>(bad.m_hMutex));
    EXPECT_FALSE(bad.alreadyExists());
    EXPECT_TRUE(bad.anotherInstance());
}

} // namespace
