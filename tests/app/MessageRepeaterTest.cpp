#include "app/MessageRepeater.h"
#include "support/RecordingLooper.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Posts a marker through the repeater and waits for it at `looper`, so that
// everything posted before it has been broadcast.
void Drain(RecordingLooper& looper)
{
    MessageRepeater::Instance()->PostMessage(0xfeedu);
    ASSERT_TRUE(looper.WaitForWhat(0xfeedu));
}

} // namespace

TEST(MessageRepeater, BroadcastsToEveryTargetOnceForEachRegistration)
{
    MessageRepeater* repeater = MessageRepeater::Instance();
    repeater->Run();
    RecordingLooper first("first"), second("second"), stranger("stranger");
    repeater->AddTarget(&first);
    repeater->AddTarget(&second);
    repeater->AddTarget(&second);
    BMessage chat(1);
    chat.AddString("user", "alice");
    repeater->PostMessage(chat);
    repeater->PostMessage(0x12345678u); // unknown codes are broadcast too
    Drain(first);
    ASSERT_TRUE(second.WaitForCount(6));
    EXPECT_EQ(first.Codes(), (std::vector<uint32>{1u, 0x12345678u, 0xfeedu}));
    EXPECT_EQ(first.Messages()[0].GetString("user"), "alice");
    EXPECT_EQ(second.Codes(),
              (std::vector<uint32>{1u, 1u, 0x12345678u, 0x12345678u, 0xfeedu, 0xfeedu}));

    // One removal takes one registration; a stranger's removal changes nothing.
    repeater->RemoveTarget(&stranger);
    repeater->RemoveTarget(&second);
    first.Clear();
    second.Clear();
    repeater->PostMessage(2u);
    Drain(first);
    ASSERT_TRUE(second.WaitForWhat(0xfeedu));
    EXPECT_EQ(first.Codes(), (std::vector<uint32>{2u, 0xfeedu}));
    EXPECT_EQ(second.Codes(), (std::vector<uint32>{2u, 0xfeedu}));
    repeater->RemoveTarget(&first);
    repeater->RemoveTarget(&second);
    EXPECT_TRUE(stranger.Messages().empty());
}
