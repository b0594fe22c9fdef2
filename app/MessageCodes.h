#pragma once
// Every message code that crosses windows and loops, and the codes used
// inside single windows (listed here so that no two share a value).

#include "kit/Types.h"

// Lobby menu and application.
constexpr uint32 MSG_SHOW_ABOUT = 0x3f200001;
constexpr uint32 MSG_QUIT_APP = 0x3f200009;

// Connection and login.
constexpr uint32 MSG_LOGIN_QUIT = 0x3f300001;
constexpr uint32 MSG_CONNECT_FAILED = 0x3f300004;
constexpr uint32 MSG_CONNECTED = 0x3f300008;
constexpr uint32 MSG_LOGIN_SUBMIT = 0x3f30000a;
constexpr uint32 MSG_LOGGED_IN = 0x3f30000c;
constexpr uint32 MSG_LOGOUT = 0x3f30000d;
constexpr uint32 MSG_LOGIN_BAD_PASSWORD = 0x3f300010;
constexpr uint32 MSG_LOGIN_DUPLICATE = 0x3f300014;
constexpr uint32 MSG_ACCOUNT_CREATED = 0x3f300022;
constexpr uint32 MSG_ACCOUNT_EXISTS = 0x3f300026;

// Games in the lobby.
constexpr uint32 MSG_NEW_GAME = 0x3f400000;
constexpr uint32 MSG_WATCH_GAME = 0x3f40000c;
constexpr uint32 MSG_JOIN_GAME = 0x3f500001;
constexpr uint32 MSG_GAME_SELECTED = 0x3f500007;
constexpr uint32 MSG_GAME_UNSELECTED = 0x3f500008;
constexpr uint32 MSG_OPEN_WEB_PAGE = 0x3f600009;

// Chat and information text.
constexpr uint32 MSG_CHAT_SEND = 0x3f700001;
constexpr uint32 MSG_PUBLIC_CHAT = 0x3f700008;
constexpr uint32 MSG_GAME_CHAT = 0x3f70000b;
constexpr uint32 MSG_INFO_TEXT = 0x3f70000d;

// Preferences.
constexpr uint32 MSG_SHOW_PREFERENCES = 0x3f800000;
constexpr uint32 MSG_SKIN_CHANGED = 0x3f80000a;

// The connection's own messages ('h7I ' to 'h7I#').
constexpr uint32 MSG_PORT_DATA = 0x68374920;
constexpr uint32 MSG_PORT_RESOLVING = 0x68374921;
constexpr uint32 MSG_PORT_HOST_UNKNOWN = 0x68374922;
constexpr uint32 MSG_PORT_CONNECTING = 0x68374923;
// A client line queued for the speaker's thread ('h7I0').
constexpr uint32 MSG_SPEAKER_LINE = 0x68374930;
// The server closed the connection "connection" (int32), broadcast behind
// that connection's last chunks ('h7I1').
constexpr uint32 MSG_CONNECTION_BROKEN = 0x68374931;
// The speaker's own: close the connection "connection" (int32), queued
// behind the lines windows sent before a reset ('h7I2').
constexpr uint32 MSG_SPEAKER_CLOSE = 0x68374932;
// The speaker has reset, for the "resets"-th time (int32): every game window
// made before belongs to a dropped connection ('h7I3').
constexpr uint32 MSG_CONNECTION_RESET = 0x68374933;
// Reconnection ('h7I4' to 'h7I;'). The speaker's own: a second of a wait
// has passed ("seconds" left, int32); the wait is over; the socket of an
// attempt is open, or could not be opened; the user asks to stop.
constexpr uint32 MSG_RECONNECT_TICK = 0x68374934;
constexpr uint32 MSG_RECONNECT_ATTEMPT = 0x68374935;
constexpr uint32 MSG_RECONNECT_OPEN = 0x68374936;
constexpr uint32 MSG_RECONNECT_FAILED = 0x68374937;
constexpr uint32 MSG_RECONNECT_STOP = 0x68374938;
// To everyone: the connection is lost and the speaker tries again (game
// windows wait, the lobby empties its lists); what it is doing ("message",
// for the status line); it is logged in again.
constexpr uint32 MSG_CONNECTION_LOST = 0x68374939;
constexpr uint32 MSG_RECONNECT_STATUS = 0x6837493a;
constexpr uint32 MSG_RECONNECTED = 0x6837493b;
// The server asks whether the client is there (the speaker answers).
constexpr uint32 MSG_SERVER_PING = 0x6837493c;
// The server has said which optional features it supports (the speaker
// then knows whether to expect its keep-alive lines).
constexpr uint32 MSG_FEATURES_ANSWERED = 0x6837493d;

// Codes used only inside one window.
constexpr uint32 MSG_PREFS_SAVE = 0x3f100001;
constexpr uint32 MSG_DIALOG_CANCEL = 0x3f100002;
constexpr uint32 MSG_CHOOSE_BLACK = 0x3f400001;
constexpr uint32 MSG_CHOOSE_WHITE = 0x3f400002;
constexpr uint32 MSG_PIECE_DRAG = 0x3f500005;
constexpr uint32 MSG_BOARD_FORWARD = 0x3f500006;
constexpr uint32 MSG_PROMOTE_QUEEN = 0x3f510001;
constexpr uint32 MSG_PROMOTE_ROOK = 0x3f510002;
constexpr uint32 MSG_PROMOTE_BISHOP = 0x3f510003;
constexpr uint32 MSG_PROMOTE_KNIGHT = 0x3f510004;
constexpr uint32 MSG_BOARD_SKIN_CHOSEN = 0x3f800004;
constexpr uint32 MSG_PIECES_SKIN_CHOSEN = 0x3f800008;

// The web browser's "open this address" message, with the string field "be:url".
constexpr uint32 MSG_BROWSER_OPEN_URL = 0x4e504f50; // 'NPOP'
