# The longest preview and export sweeps decode many clips at once and play them in
# real time: run side by side they starve each other of CPU, and a starved player
# drops pictures as it should. One at a time, alongside the lighter tests.
set_tests_properties(
    "PlayerFrames.EveryKindOfSourceShowsTheFrameOnScreenAtEachInstant"
    "PlayerFrames.StreamCopiedCutsAndOpenGopsShowTheFrameOnScreen"
    "RandomTimelines.EveryExportedFrameIsTheOneOnScreen"
    "RandomTimelines.EveryPausedPreviewPictureIsTheOneOnScreen"
    "RandomTimelines.PlayedTimelinesShowNoBlackWhereAPieceLiesAndEachPictureInItsPiece"
    PROPERTIES RESOURCE_LOCK heavy-media)
