#pragma once
// FFmpeg's own messages (a codec's statistics, a muxer's warnings) go to the
// product's debug channel instead of the daemon's standard error. Every layer
// that uses FFmpeg calls this before its first FFmpeg call; the routing is
// process-wide and set once.
void RouteFfmpegMessages();
