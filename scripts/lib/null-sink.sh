# Sourced by the scripts that add outputs to a sound server.

# null_sink_args NAME DESCRIPTION: the arguments of module-null-sink for a 48 kHz output,
# quoted as the driver's installer quotes them (PipeWire's server splits a single-quoted
# list at its spaces), as one word for pactl load-module or a line of a server script.
null_sink_args() {
    printf "sink_name=%s rate=48000 sink_properties=\"device.description='%s'\"" "$1" "$2"
}
