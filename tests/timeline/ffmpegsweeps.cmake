# Sweeps that run ffmpeg and ffprobe hundreds of times: started early, as they take minutes.
set_tests_properties(
    "FilterGraphWithFfmpeg.RgbAndGammaTaggedClipsKeepTheirColours"
    PROPERTIES COST 500)
