# The longest preview and export sweeps decode many clips at once and play them in
# real time: run side by side they starve each other of CPU, and a starved player
# drops pictures as it should. One at a time, alongside the lighter tests, and
# started first (COST): one after another they take longer than the rest of the suite.
set_tests_properties(
    "PlayerFrames.EveryKindOfSourceShowsTheFrameOnScreenAtEachInstant"
    "PlayerFrames.StreamCopiedCutsAndOpenGopsShowTheFrameOnScreen"
    "RandomTimelines.EveryExportedFrameIsTheOneOnScreen"
    "RandomTimelines.EveryPausedPreviewPictureIsTheOneOnScreen"
    "RandomTimelines.PlayedTimelinesShowNoBlackWhereAPieceLiesAndEachPictureInItsPiece"
    PROPERTIES RESOURCE_LOCK heavy-media COST 1000)

# The tests that hold the picture to what a sink's monitor records each start sound
# servers of their own: one at a time, so that no other such server takes the
# real-time cycles theirs needs (the groups of CMakeLists.txt take the lock too), and
# never beside the sweeps above, which take every core they can; started first too.
set_tests_properties(
    "PlayerSound.ThePlayheadReachesTheEndWhateverTheSoundServerDoes"
    "PlayerSound.ThePictureKeepsWithTheSoundFromTheFirstSoundHeard"
    "PlayerSound.PauseStopsTheSoundAndPlayRepeatsNone"
    "PlayerSound.ThePictureFollowsTheSoundAfterAShortStand"
    "PlayerSoundLongStand.PulseAudio"
    "PlayerSoundLongStand.PipeWire"
    "PlayerSound.PauseDuringAStandRestsWhereTheSoundEnded"
    "PlayerSoundQuantum.PipeWire"
    "PlayerSoundDropOuts.PulseAudio"
    PROPERTIES RESOURCE_LOCK "sound-truth;heavy-media" COST 1000)
