#!/usr/bin/python3
"""Records what the computer plays for a few seconds and saves it as an MP3 file.

    record_and_save.py [--seconds N] [--bitrate KBPS] OUT.mp3

A client of the Tonquil daemon over the D-Bus session bus (python3-dbus). The song and
the encoder that the daemon hands out belong to the connection that asked for them and
live as long as it does, so every call below goes over one connection that stays open
from the first call to the last (busctl, which connects anew for every call, cannot save).
Every method answers its HRESULT first: 0 (S_OK) or 1 (S_FALSE) is success.
"""
import argparse
import os
import sys
import time

import dbus

NAME = "QXService.AudioController"
ENCODER_TYPES = {"mp3": 0, "ogg": 1, "wma": 2, "aac": 3}
SAVE_TIMEOUT_S = 24 * 3600  # a save takes as long as the song needs


def check(answer, what):
    """The answer's HRESULT must be a success; returns the rest of the answer."""
    if not isinstance(answer, tuple):
        answer = (answer,)
    hr = int(answer[0])
    if hr < 0:
        sys.exit("%s failed: HRESULT 0x%08X" % (what, hr & 0xFFFFFFFF))
    rest = answer[1:]
    return rest[0] if len(rest) == 1 else rest


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", help="the file to write (an existing file is never replaced: the new one is numbered)")
    parser.add_argument("--seconds", type=float, default=5, help="how long to record (default 5)")
    parser.add_argument("--bitrate", type=int, default=128, help="constant bit rate in kbit/s (default 128)")
    args = parser.parse_args()

    bus = dbus.SessionBus()  # the one connection of this client

    def interface(path, name):
        return dbus.Interface(bus.get_object(NAME, path), "QXServiceLib." + name)

    controller = interface("/AudioController", "IAudioController")
    playlist = interface("/AudioController/PlayList", "IPlayList")

    before = check(playlist.Count(), "Count")
    check(controller.Record(), "Record")
    print("recording for %g s ..." % args.seconds)
    time.sleep(args.seconds)
    check(controller.StopRecord(), "StopRecord")
    # The recording becomes a selection in the playlist a moment later.
    deadline = time.monotonic() + 30
    while check(playlist.Count(), "Count") <= before:
        if time.monotonic() > deadline:
            sys.exit("the recording did not become a selection")
        time.sleep(0.1)

    guid = check(playlist.Last(), "Last")
    song_path = check(playlist.Get(guid), "Get")
    song = interface(song_path, "ISong")
    length_ms = check(song.GetLength(), "GetLength")

    encoder_path = check(controller.CreateNewEncoder(dbus.UInt32(ENCODER_TYPES["mp3"])), "CreateNewEncoder")
    encoder = interface(encoder_path, "IAudioEncoder")
    check(encoder.SetConstantBitrate(dbus.UInt32(args.bitrate)), "SetConstantBitrate")
    out = os.path.abspath(args.out)
    print("saving the selection %s (%d ms) as %s ..." % (guid, length_ms, out))
    check(encoder.Save(song_path, out, timeout=SAVE_TIMEOUT_S), "Save")

    # Give back the objects this connection holds (leaving the bus would, too).
    for path in (encoder_path, song_path):
        interface(path, "IUnknown").Release(ignore_reply=True)  # Release sends no answer
    print("saved")


if __name__ == "__main__":
    main()
