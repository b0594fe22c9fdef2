#include "app/MessageCodes.h"

const char* MessageCodeName(uint32 what)
{
    switch (what) {
#define NAME(code)                                                                                 \
    case code:                                                                                     \
        return #code;
        NAME(MSG_SHOW_ABOUT)
        NAME(MSG_QUIT_APP)
        NAME(MSG_LOGIN_QUIT)
        NAME(MSG_CONNECT_FAILED)
        NAME(MSG_CONNECTED)
        NAME(MSG_LOGIN_SUBMIT)
        NAME(MSG_LOGGED_IN)
        NAME(MSG_LOGOUT)
        NAME(MSG_LOGIN_BAD_PASSWORD)
        NAME(MSG_LOGIN_DUPLICATE)
        NAME(MSG_ACCOUNT_CREATED)
        NAME(MSG_ACCOUNT_EXISTS)
        NAME(MSG_NEW_GAME)
        NAME(MSG_WATCH_GAME)
        NAME(MSG_JOIN_GAME)
        NAME(MSG_GAME_SELECTED)
        NAME(MSG_GAME_UNSELECTED)
        NAME(MSG_OPEN_WEB_PAGE)
        NAME(MSG_CHAT_SEND)
        NAME(MSG_PUBLIC_CHAT)
        NAME(MSG_GAME_CHAT)
        NAME(MSG_INFO_TEXT)
        NAME(MSG_SHOW_PREFERENCES)
        NAME(MSG_SKIN_CHANGED)
        NAME(MSG_PORT_DATA)
        NAME(MSG_PORT_RESOLVING)
        NAME(MSG_PORT_HOST_UNKNOWN)
        NAME(MSG_PORT_CONNECTING)
        NAME(MSG_SPEAKER_LINE)
        NAME(MSG_CONNECTION_BROKEN)
        NAME(MSG_SPEAKER_CLOSE)
        NAME(MSG_CONNECTION_RESET)
        NAME(MSG_PREFS_SAVE)
        NAME(MSG_DIALOG_CANCEL)
        NAME(MSG_CHOOSE_BLACK)
        NAME(MSG_CHOOSE_WHITE)
        NAME(MSG_PIECE_DRAG)
        NAME(MSG_BOARD_FORWARD)
        NAME(MSG_PROMOTE_QUEEN)
        NAME(MSG_PROMOTE_ROOK)
        NAME(MSG_PROMOTE_BISHOP)
        NAME(MSG_PROMOTE_KNIGHT)
        NAME(MSG_BOARD_SKIN_CHOSEN)
        NAME(MSG_PIECES_SKIN_CHOSEN)
        NAME(MSG_BROWSER_OPEN_URL)
        NAME(B_QUIT_REQUESTED)
#undef NAME
    }
    return "";
}
