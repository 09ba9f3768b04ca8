// The published ASPI for Win32 interface: request blocks (byte-packed), command
// codes, status values and the two entry points of the library "WNASPI32".
#pragma once

#include <windows.h>

#include <cstddef>

namespace aspi {

// Command codes (SRB_Cmd).
constexpr BYTE SC_HA_INQUIRY = 0x00;
constexpr BYTE SC_GET_DEV_TYPE = 0x01;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
constexpr BYTE SC_GET_DISK_INFO = 0x06;
constexpr BYTE SC_GETSET_TIMEOUTS = 0x08;

// Status values (SRB_Status, and bits 8 to 15 of the support information).
constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;
constexpr BYTE SS_ERR = 0x04;
constexpr BYTE SS_INVALID_HA = 0x81;
constexpr BYTE SS_NO_DEVICE = 0x82;
constexpr BYTE SS_NO_ADAPTERS = 0xE8;

// Request flags (SRB_Flags).
constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

constexpr BYTE DTYPE_CDROM = 0x05;
constexpr int SENSE_LEN = 14;

#pragma pack(push, 1)

struct SRB_Header {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;
    BYTE HA_SCSI_ID;
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];  // not necessarily NUL-terminated
    BYTE HA_Unique[16];      // [3]: maximum number of targets, 0 meaning 8
    WORD HA_Rsvd1;
};

struct SRB_GDEVBlock {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    BYTE SRB_DeviceType;
    BYTE SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;  // with SRB_EVENT_NOTIFY: the event to signal at the end
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
};

struct SRB_GetDiskInfo {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    BYTE SRB_DriveFlags;
    BYTE SRB_Int13HDriveInfo;  // the drive letter as a number: 0 is A
    BYTE SRB_Heads;
    BYTE SRB_Sectors;
    BYTE SRB_Rsvd1[10];
};

struct SRB_GetSetTimeouts {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    DWORD SRB_Timeout;  // in half-seconds
};

#pragma pack(pop)

#ifndef _WIN64
static_assert(sizeof(SRB_Header) == 8, "published SRB header size");
static_assert(sizeof(SRB_HAInquiry) == 60, "published SRB_HAInquiry size");
static_assert(sizeof(SRB_GDEVBlock) == 12, "published SRB_GDEVBlock size");
static_assert(sizeof(SRB_ExecSCSICmd) == 80, "published SRB_ExecSCSICmd size");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48, "published CDB offset");
static_assert(sizeof(SRB_GetDiskInfo) == 24, "published SRB_GetDiskInfo size");
static_assert(sizeof(SRB_GetSetTimeouts) == 14, "published SRB_GetSetTimeouts size");
#endif

// The library's entry points, looked up by these names.
using GetSupportInfoFunction = DWORD(__cdecl*)();
using SendCommandFunction = DWORD(__cdecl*)(void* srb);
constexpr char kLibraryName[] = "WNASPI32";
constexpr char kGetSupportInfoName[] = "GetASPI32SupportInfo";
constexpr char kSendCommandName[] = "SendASPI32Command";

}  // namespace aspi
