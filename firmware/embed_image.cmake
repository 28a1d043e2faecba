# Turns the firmware image file into a C++ source that defines FirmwareImage.
# Run as: cmake -DINPUT=<image> -DOUTPUT=<source> -DSIZE=<bytes> -P embed_image.cmake
file(SIZE "${INPUT}" actual_size)
if(NOT actual_size EQUAL SIZE)
    message(FATAL_ERROR "Firmware image ${INPUT} has ${actual_size} bytes; the card takes ${SIZE}")
endif()
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
     "// Generated from ${INPUT}; do not edit.\n"
     "#include \"firmware_image.h\"\n\n"
     "decltype(FirmwareImage) FirmwareImage = {\n${bytes}};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
