#pragma once
// What each command does to the mode flags of the state word when the state
// table allows it (position flags are the maintenance's business).
#include "ipc/QXServiceLib.h"

inline constexpr DWORD kModeFlags = _esLive | _esReplay | _esPlay | _esPause | _esRec | _esStop;

inline DWORD ExpectedModes(DWORD state, ECommand cmd, bool interceptAlways) {
    DWORD s = state;
    auto swap = [&](DWORD off, DWORD on) { s = (s & ~off) | on; };
    switch (cmd) {
        case _ecPlay: swap(_esPause, _esPlay); break;
        case _ecPause:
            swap(_esPlay, _esPause);
            if ((s & _esLive) && (!(s & _esStop) || interceptAlways)) swap(_esLive, _esReplay);
            break;
        case _ecLive:
            if (s & _esPlay) swap(_esReplay, _esLive);  // paused: only the position moves
            break;
        case _ecRec:
            swap(_esStop, _esRec);
            if ((s & _esLive) && (s & _esPause)) swap(_esLive, _esReplay);  // the pause holds the live sound back
            break;
        case _ecStop:
            swap(_esRec, _esStop);
            if ((s & _esLive) && (s & _esPause) && interceptAlways) swap(_esLive, _esReplay);
            break;
        case _ecSkip: break;
        case _ecBack:
            if (s & _esLive) swap(_esLive, _esReplay);
            break;
        default: break;
    }
    return s;
}
