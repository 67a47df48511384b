#ifndef REPLYFORMAT_H
#define REPLYFORMAT_H

// What the link worker requires of a module's reply before handing it on;
// the frame code relies on the same two facts.
inline constexpr int REPLY_MIN_LENGTH = 30;
inline constexpr char REPLY_START_BYTE = 0x24;

#endif // REPLYFORMAT_H
