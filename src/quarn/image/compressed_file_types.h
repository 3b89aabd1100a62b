// Files whose data is already compressed (archives, media): a backup stores
// their data sets raw rather than spend time compressing them again.
#ifndef QUARN_IMAGE_COMPRESSED_FILE_TYPES_H
#define QUARN_IMAGE_COMPRESSED_FILE_TYPES_H

// The extensions whose data is stored uncompressed.
extern const char* const FileExtList[24];

// 1 when the text after the last "." of name is in FileExtList (any case), else 0.
int IsCompressFile(const char* name);

#endif
