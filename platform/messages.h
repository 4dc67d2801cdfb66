// Window messages: a numbered message with two word-sized parameters,
// delivered to a window either queued (posted) or at once (sent). Windows
// are QObjects; a receiver handles TMessageEvent in its event() override.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

// The first message number free for programs' own messages.
constexpr uint32_t WM_USER = 1024;

class TMessageEvent : public QEvent {
  public:
    TMessageEvent(uint32_t msg, uintptr_t wParam, intptr_t lParam)
        : QEvent(Type()), msg_(msg), wParam_(wParam), lParam_(lParam) {}

    // The event type that carries window messages, registered once.
    static QEvent::Type Type();

    uint32_t Msg() const { return msg_; }
    uintptr_t WParam() const { return wParam_; }
    intptr_t LParam() const { return lParam_; }
    // What the receiver answers to a sent message.
    intptr_t Result() const { return result_; }
    void SetResult(intptr_t r) { result_ = r; }

  private:
    uint32_t msg_;
    uintptr_t wParam_;
    intptr_t lParam_;
    intptr_t result_ = 0;
};

// Queues the message for the receiver's thread; returns at once. Does
// nothing when target is null.
void PostMessage(QObject* target, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Delivers the message to the receiver and returns its result once it has
// been handled. Returns 0 when target is null.
intptr_t SendMessage(QObject* target, uint32_t msg, uintptr_t wParam, intptr_t lParam);
