#include "platform/messages.h"
#include "platform/application.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <vector>

namespace {

// A window that records the messages it handles and answers sent ones.
class Receiver : public QObject {
  public:
    std::vector<std::pair<uint32_t, uintptr_t>> got;
    bool event(QEvent* e) override {
        if (e->type() == TMessageEvent::Type()) {
            auto* m = static_cast<TMessageEvent*>(e);
            got.emplace_back(m->Msg(), m->WParam());
            m->SetResult(static_cast<intptr_t>(m->WParam()) * 2);
            return true;
        }
        return QObject::event(e);
    }
};

TEST(WindowMessages, PostedQueueInOrderAndSentArriveAtOnce) {
    Receiver r;
    PostMessage(&r, WM_USER + 1, 1, 0);
    PostMessage(&r, WM_USER + 0, 50, 0);
    EXPECT_TRUE(r.got.empty()) << "a posted message waits for the message loop";

    EXPECT_EQ(SendMessage(&r, WM_USER + 4, 21, 0), 42);
    ASSERT_EQ(r.got.size(), 1u);
    EXPECT_EQ(r.got[0].first, WM_USER + 4);

    ProcessMessages();
    ASSERT_EQ(r.got.size(), 3u);
    EXPECT_EQ(r.got[1], std::make_pair(WM_USER + 1, uintptr_t(1)));
    EXPECT_EQ(r.got[2], std::make_pair(WM_USER + 0, uintptr_t(50)));

    // No receiver: nothing happens.
    PostMessage(nullptr, WM_USER, 0, 0);
    EXPECT_EQ(SendMessage(nullptr, WM_USER, 0, 0), 0);
}

TEST(WindowMessages, PostedMessageToADeletedWindowIsDropped) {
    static int delivered = 0;
    struct Counting : QObject {
        bool event(QEvent* e) override {
            if (e->type() == TMessageEvent::Type()) ++delivered;
            return QObject::event(e);
        }
    };
    auto* gone = new Counting;
    Counting alive;
    PostMessage(gone, WM_USER + 1, 7, 0);
    PostMessage(&alive, WM_USER + 1, 8, 0);
    delete gone;
    ProcessMessages();  // must not touch the deleted receiver
    EXPECT_EQ(delivered, 1);
}

}  // namespace
