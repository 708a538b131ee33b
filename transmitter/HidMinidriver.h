/* The HID class driver's interface to its minidrivers, as Microsoft documents it (hidport.h in
 * the Windows Driver Kit). The toolchain's DDK has no hidport.h, and the internal request codes
 * in its hidclass.h are not the ones the class driver sends, so this driver declares them. */
#pragma once

#include <ddk/wdm.h>

#define HID_REVISION 0x00000001

typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION, *PHID_MINIDRIVER_REGISTRATION;

/* What the class driver keeps at the start of the device extension of each device object it
 * creates for the minidriver. */
typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION, *PHID_DEVICE_EXTENSION;

#pragma pack(push, 1)
typedef struct _HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
} HID_DESCRIPTOR, *PHID_DESCRIPTOR;
#pragma pack(pop)

typedef struct _HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES, *PHID_DEVICE_ATTRIBUTES;

/* One report, as the class driver hands it over: the report ID apart, the rest in the buffer. */
typedef struct _HID_XFER_PACKET {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} HID_XFER_PACKET, *PHID_XFER_PACKET;

#define HID_HID_DESCRIPTOR_TYPE 0x21
#define HID_REPORT_DESCRIPTOR_TYPE 0x22

/* IOCTL_HID_GET_STRING: the string's ID is in the low word of the request's input value. */
#define HID_STRING_ID_IMANUFACTURER 14
#define HID_STRING_ID_IPRODUCT 15
#define HID_STRING_ID_ISERIALNUMBER 16

#define HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define HID_IN_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_IN_DIRECT, FILE_ANY_ACCESS)
#define HID_OUT_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_OUT_DIRECT, FILE_ANY_ACCESS)

#define TRANSMITTER_IOCTL_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define TRANSMITTER_IOCTL_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define TRANSMITTER_IOCTL_READ_REPORT HID_CTL_CODE(2)
#define TRANSMITTER_IOCTL_WRITE_REPORT HID_CTL_CODE(3)
#define TRANSMITTER_IOCTL_GET_STRING HID_CTL_CODE(4)
#define TRANSMITTER_IOCTL_ACTIVATE_DEVICE HID_CTL_CODE(7)
#define TRANSMITTER_IOCTL_DEACTIVATE_DEVICE HID_CTL_CODE(8)
#define TRANSMITTER_IOCTL_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)
#define TRANSMITTER_IOCTL_SET_OUTPUT_REPORT HID_IN_CTL_CODE(101)

NTSTATUS NTAPI HidRegisterMinidriver(PHID_MINIDRIVER_REGISTRATION registration);
