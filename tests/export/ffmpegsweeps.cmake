# An export of hundreds of pieces, each frame read back: started early, as it takes minutes.
set_tests_properties(
    "LongTimelineExport.EveryFrameOfHundredsOfPiecesIsThePictureOfItsPiece"
    PROPERTIES COST 500)
