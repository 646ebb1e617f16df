# An export of hundreds of pieces, each frame read back: minutes on a busy machine.
# The bound is for an ffmpeg that hangs, not for one that is slow.
set_tests_properties(
    "LongTimelineExport.EveryFrameOfHundredsOfPiecesIsThePictureOfItsPiece"
    PROPERTIES TIMEOUT 900)
