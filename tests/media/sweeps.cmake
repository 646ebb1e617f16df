# Sweeps over every pixel layout and hundreds of sizes, each picture checked pixel by
# pixel: started early, as they take minutes.
set_tests_properties(
    "PictureConverterSweep.EverySizeAndLayoutComesOutWholeAndInItsColour"
    "PictureConverterSweep.HdrPicturesOfEverySizeComeOutInTheirColour"
    PROPERTIES COST 500)
