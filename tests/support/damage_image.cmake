# A carried image embedded as update/images/ would be, but with its magic
# overwritten, as a damaged file there would be: for the test build of
# vantrel-flash that shows what the tool does with an image it cannot use.
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -DEMBED=<embed_file.cmake> -P damage_image.cmake
include(${EMBED})
file(READ "${OUTPUT}" source)
string(REGEX REPLACE "= {\n0x..,0x..,0x..,0x..," "= {\n0x00,0x00,0x00,0x00," source "${source}")
file(WRITE "${OUTPUT}" "${source}")
