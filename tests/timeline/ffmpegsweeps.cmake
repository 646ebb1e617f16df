# Sweeps that run ffmpeg and ffprobe hundreds of times: minutes on a busy machine.
# The bound is for an ffmpeg that hangs, not for one that is slow.
set_tests_properties(
    "FilterGraphWithFfmpeg.RgbAndGammaTaggedClipsKeepTheirColours"
    PROPERTIES TIMEOUT 900)
