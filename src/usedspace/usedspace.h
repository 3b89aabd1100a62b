// Used bytes of an NTFS or FAT32 partition, read from its allocation
// structures: the clusters set in the NTFS volume bitmap ($Bitmap), the
// allocated clusters of the FAT, each times the cluster size.
#ifndef USEDSPACE_USEDSPACE_H
#define USEDSPACE_USEDSPACE_H

// device: the partition's device node (or an image file standing in for
// one). 0 on success with the bytes in use stored in *used; any other value
// is a failure and *used is left alone.
int ntfs_used(const char* device, unsigned long long* used);
int fat32_used(const char* device, unsigned long long* used);

#endif
