# The tests that hold the time heard to what a sink's monitor records start sound
# servers of their own: one at a time, with the player's such tests (views/heavymedia.cmake),
# so that no other server takes the real-time cycles theirs needs, and never beside
# the heaviest sweeps.
set_tests_properties(
    "PreviewSound.TellsTheTimeTheSinkTrulyPlays"
    "SoundDevice.TellsNoTimeAheadOfTheSinkWhenTheSourceFallsBehindOnPipeWire"
    "SoundHeardOnceAtACut.PulseAudio"
    "SoundHeardOnceAtACut.PipeWireCycle1024"
    "SoundHeardOnceAtACut.PipeWireOwnCycle"
    "SoundHeardOnceAtACut.PipeWireCycle8192"
    "SoundHeardOnce.AfterHoldsOnALargeCycle"
    "SoundHeardOnce.ToTheEndOfTheTimeline"
    PROPERTIES RESOURCE_LOCK "sound-truth;heavy-media")
# A busy machine takes seconds to ready each cut's 1080p piece.
set_tests_properties(
    "SoundHeardOnceAtACut.PulseAudio"
    "SoundHeardOnceAtACut.PipeWireCycle1024"
    "SoundHeardOnceAtACut.PipeWireOwnCycle"
    "SoundHeardOnceAtACut.PipeWireCycle8192"
    PROPERTIES TIMEOUT 900)
