// The NT storage interface as drive discovery uses it: the published control
// codes and structures (from the platform headers) and the pass-through block
// that carries one INQUIRY.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>

namespace scsi {

static_assert(IOCTL_SCSI_GET_ADDRESS == 0x41018, "published control code");
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014, "published control code");
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400, "published control code");

constexpr BYTE kInquiry = 0x12;
constexpr BYTE kInquiryLength = 36;  // standard INQUIRY data
constexpr BYTE kSenseInfoLength = 24;
constexpr ULONG kTimeOutSeconds = 4;

// The header, a filler and the sense area that SenseInfoOffset points at. Sent
// as both input and output of IOCTL_SCSI_PASS_THROUGH_DIRECT.
struct PassThroughBlock {
    SCSI_PASS_THROUGH_DIRECT header;
    ULONG filler;
    UCHAR sense[32];
};

#ifndef _WIN64
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "published 32-bit header size");
static_assert(offsetof(PassThroughBlock, sense) == 48, "published 32-bit sense offset");
static_assert(sizeof(PassThroughBlock) == 80, "published 32-bit block size");
static_assert(sizeof(SCSI_ADDRESS) == 8, "published SCSI_ADDRESS size");
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12, "published query size");
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40, "published descriptor head size");
#endif

}  // namespace scsi
