# The tests that hold the time heard to what a sink's monitor records start sound
# servers of their own: one at a time, with the player's such tests (views/heavymedia.cmake),
# so that no other server takes the real-time cycles theirs needs; started first. What
# they judge is what a user hears at full speed: the sanitizer build, many times
# slower, leaves them out (label realtime).
set_tests_properties(
    "PreviewSound.TellsTheTimeTheSinkTrulyPlays"
    "SoundDevice.TellsNoTimeAheadOfTheSinkWhenTheSourceFallsBehindOnPipeWire"
    "SoundHeardOnceAtACut.PulseAudio"
    "SoundHeardOnceAtACut.PipeWireCycle1024"
    "SoundHeardOnceAtACut.PipeWireOwnCycle"
    "SoundHeardOnceAtACut.PipeWireCycle8192"
    "SoundHeardOnce.AfterHoldsOnALargeCycle"
    "SoundHeardOnce.ToTheEndOfTheTimeline"
    PROPERTIES RESOURCE_LOCK "sound-truth;heavy-media" COST 1000 LABELS "core;realtime")
