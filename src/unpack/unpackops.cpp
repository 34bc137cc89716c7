#include "unpack/extract.h"
#include "unpack/unpackrun.h"

// Kept apart from the run, so a test that plays the engine with its own calls links without it.
UnpackOperations DefaultUnpackOperations()
{
    UnpackOperations ops;
    ops.extractZip = ExtractZipArchive;
    ops.extractRar = ExtractRarArchive;
    ops.extractSevenZ = ExtractSevenZArchive;
    ops.confirmDelete = ConfirmArchiveDelete;
    ops.deleteArchive = DeleteArchive;
    ops.deleteArchives = DeleteArchives;
    return ops;
}
