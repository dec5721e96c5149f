/* The 14 entry points of the maker's firmware library (librozezerir.so), in the order the
 * program resolves them. Every entry returns 0 on success. Texts are zero-terminated 8-bit
 * strings; images and their sizes are made by the library and freed by it. A device is the
 * IPv4 address value of its scan record (first octet in the lowest byte), except for the USB
 * address upload, which takes the record's device handle. */
#ifndef QRB_ROZEZERIR_H
#define QRB_ROZEZERIR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status: bits 8-15 the phase (1 to 5), bits 0-7 the percentage of that phase. Returns 0. */
typedef int32_t (*QRBFWProgress)(void* userData, int32_t status);

/* A scan result area: a 32-bit signed count, then room for 256 records (24 bytes each on the
 * network, 28 on USB). */
#define QRBFW_MAX_RECORDS 256
#define QRBFW_NET_RECORD_SIZE 24
#define QRBFW_USB_RECORD_SIZE 28

int32_t QRBFWNET_Init(const char* localAddress, const char* subnetMask);
/* Entries 2 to 5 are never called; they are resolved only to tell the library's version. */
int32_t QRBFWNET_ClearFWImg(void);
int32_t QRBFWUSB_ClearFWImg(void);
int32_t QRBFWNET_RestartFWImg(void);
int32_t QRBFWUSB_RestartFWImg(void);
int32_t QRBFWNET_Scan(void* result);
int32_t QRBFWUSB_Scan(void* result);
int32_t QRBFWNET_UploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData);
int32_t QRBFWUSB_UploadFWImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                             void* userData);
int32_t QRBFWNET_UploadIPAddrImg(uint32_t device, void* image, uint32_t size, QRBFWProgress progress,
                                 void* userData);
int32_t QRBFWUSB_UploadIPAddrImg(uint32_t deviceHandle, void* image, uint32_t size, QRBFWProgress progress,
                                 void* userData);
int32_t ROZEZErir_CreateIPAddrImage(void** image, uint32_t* size, const char* address, const char* mask);
int32_t ROZEZErir_LoadImage(void** image, uint32_t* size, const char* fileName);
int32_t ROZEZErir_FreeImage(void* image);

#ifdef __cplusplus
}
#endif

#endif
