#pragma once

// Restricted dialect (see CrashState.h): finding the image and nearest symbol of an address in
// the prepared image table, and the report's text forms of frames and images.

#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/crash/handler/SafeWriter.h"

namespace murmelo::crash {

// The table the last refresh published, or null before the first.
const ImageTable *publishedImages();

const Image *imageForAddress(const ImageTable &table, uintptr_t address);

struct Symbol {
    const char *name = nullptr;
    size_t nameSize = 0;
    uintptr_t address = 0; // runtime address
};
// The defined symbol of the image with the greatest address not above the given one.
bool nearestSymbol(const Image &image, uintptr_t address, Symbol &symbol);

// "0   libfoo.so.1                          0x00007f... name + 12"
void formatFrame(LineBuffer &line, size_t index, uintptr_t address, const Image *image,
                 const Symbol *symbol);
// "0x<start> - 0x<text end> name arch  <build id> path"
void formatImage(LineBuffer &line, const Image &image);
// The architecture name the report uses for an ELF machine number.
const char *architectureName(uint16_t machine);

} // namespace murmelo::crash
