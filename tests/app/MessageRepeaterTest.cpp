#include "app/MessageRepeater.h"
#include "app/MessageCodes.h"
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

TEST(MessageRepeater, BroadcastsEveryMessageToEveryTargetInPostingOrder)
{
    MessageRepeater* repeater = MessageRepeater::Instance();
    repeater->Run();
    RecordingLooper first("first"), second("second");
    repeater->AddTarget(&first);
    repeater->AddTarget(&second);

    BMessage chat(MSG_PUBLIC_CHAT);
    chat.AddString("user", "alice");
    repeater->PostMessage(chat);
    repeater->PostMessage(MSG_LOGGED_IN);
    repeater->PostMessage(0x12345678u); // unknown codes are broadcast too
    Drain(first);
    Drain(second);

    for (RecordingLooper* looper : {&first, &second}) {
        std::vector<BMessage> got = looper->Messages();
        ASSERT_GE(got.size(), 4u);
        EXPECT_EQ(got[0].what, MSG_PUBLIC_CHAT);
        EXPECT_EQ(got[0].GetString("user"), "alice");
        EXPECT_EQ(got[1].what, MSG_LOGGED_IN);
        EXPECT_EQ(got[2].what, 0x12345678u);
    }
    EXPECT_TRUE(repeater->IsRunning());
    repeater->RemoveTarget(&first);
    repeater->RemoveTarget(&second);
}

TEST(MessageRepeater, DuplicateRegistrationHearsTwiceAndOneRemovalRemovesOne)
{
    MessageRepeater* repeater = MessageRepeater::Instance();
    repeater->Run();
    RecordingLooper looper;
    repeater->AddTarget(&looper);
    repeater->AddTarget(&looper);
    repeater->PostMessage(MSG_INFO_TEXT);
    ASSERT_TRUE(looper.WaitForCount(2));

    repeater->RemoveTarget(&looper);
    EXPECT_EQ(repeater->CountTargets(), 1);
    looper.Clear();
    repeater->PostMessage(MSG_INFO_TEXT);
    Drain(looper);
    EXPECT_EQ(looper.Codes(), (std::vector<uint32>{MSG_INFO_TEXT, 0xfeedu}));

    RecordingLooper stranger;
    repeater->RemoveTarget(&stranger); // not registered: nothing changes
    EXPECT_EQ(repeater->CountTargets(), 1);
    repeater->RemoveTarget(&looper);
    EXPECT_EQ(repeater->CountTargets(), 0);
}

TEST(MessageRepeater, WithoutTargetsMessagesAreDroppedSilently)
{
    MessageRepeater* repeater = MessageRepeater::Instance();
    repeater->Run();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(repeater->PostMessage(MSG_CONNECT_FAILED), B_OK);
    // Wait until the repeater has taken every message and finished handling it.
    for (int i = 0; i < 10000 && repeater->CountQueuedMessages() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(repeater->CountQueuedMessages(), 0);
    ASSERT_TRUE(repeater->Lock());
    repeater->Unlock();
    RecordingLooper late;
    repeater->AddTarget(&late);
    Drain(late);
    // Nothing posted before the target registered reaches it.
    EXPECT_EQ(late.Codes(), (std::vector<uint32>{0xfeedu}));
    repeater->RemoveTarget(&late);
}

TEST(MessageRepeater, MessagesFromSeveralThreadsReachEveryTargetInEachSendersOrder)
{
    MessageRepeater* repeater = MessageRepeater::Instance();
    repeater->Run();
    RecordingLooper a("a"), b("b");
    repeater->AddTarget(&a);
    repeater->AddTarget(&b);
    constexpr int kThreads = 4, kEach = 250;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([t, repeater] {
            for (int i = 0; i < kEach; ++i) {
                BMessage message(0x1000u + t);
                message.AddInt32("seq", i);
                repeater->PostMessage(message);
            }
        });
    }
    for (auto& sender : senders)
        sender.join();
    for (RecordingLooper* looper : {&a, &b}) {
        ASSERT_TRUE(looper->WaitForCount(kThreads * kEach));
        std::vector<int> next(kThreads, 0);
        for (const BMessage& message : looper->Messages()) {
            int t = static_cast<int>(message.what - 0x1000u);
            int32 seq = -1;
            ASSERT_TRUE(message.FindInt32("seq", &seq));
            EXPECT_EQ(seq, next[t]++) << "sender " << t;
        }
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(next[t], kEach);
    }
    repeater->RemoveTarget(&a);
    repeater->RemoveTarget(&b);
}

TEST(MessageCodes, ValuesAndNamesMatchTheCatalogue)
{
    EXPECT_EQ(MSG_PORT_DATA, 0x68374920u);
    EXPECT_EQ(MSG_PORT_CONNECTING, 0x68374923u);
    EXPECT_EQ(MSG_SKIN_CHANGED, 0x3f80000au);
    EXPECT_EQ(MSG_ACCOUNT_EXISTS, 0x3f300026u);
    EXPECT_STREQ(MessageCodeName(MSG_GAME_CHAT), "MSG_GAME_CHAT");
    EXPECT_STREQ(MessageCodeName(0x12345678), "");
    // The four connection codes are the characters 'h7I ' to 'h7I#'.
    EXPECT_EQ(MSG_PORT_RESOLVING, (uint32('h') << 24 | uint32('7') << 16 | uint32('I') << 8 | '!'));
}
