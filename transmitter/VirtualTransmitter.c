/* A virtual key transmitter: a HID minidriver for a root-enumerated device that presents itself
 * to the HID class driver as USB vendor 0x6666, product 0xF100, with one vendor-defined output
 * report of 8 data bytes and no report ID.
 *
 * Every output report it receives is appended, with the device's serial number, the report's
 * bytes and the status the request completed with, to a plain text log. Values in the driver's
 * service key, read at every write, set the log and can make writes fail:
 *   LogFile        REG_SZ     the log's path (a DOS path, or an NT path starting with \)
 *   FailFromWrite  REG_DWORD  when not 0: the k-th output report counted in WriteCount, and
 *                             every later one, fails
 *   FailStatus     REG_DWORD  the status they fail with (default STATUS_DEVICE_NOT_CONNECTED)
 *   WriteCount     REG_DWORD  the output reports received, by all devices, since it was last set
 *                             to 0; kept in the registry, since the platform may stop and start
 *                             the driver between two writers
 * A device's serial number is the SerialNumber value of its device key (set by the installer).
 *
 * The device has no input report: the read requests that the class driver keeps sending are
 * held, cancellable, and completed when cancelled or when the device goes away. Writes are
 * handled by a work item, at passive level, since they read the registry and write a file. */
#include "HidMinidriver.h"

/* Pool tag "TsKT", as the debugger shows it. */
#define TRANSMITTER_TAG 0x544B7354UL
#define TRANSMITTER_VERSION 0x0100

static const UCHAR ReportDescriptor[] = {
    0x06, 0x00, 0xFF,  /* Usage Page (vendor-defined 0xFF00) */
    0x09, 0x01,        /* Usage (1) */
    0xA1, 0x01,        /* Collection (Application) */
    0x09, 0x02,        /*   Usage (2) */
    0x15, 0x00,        /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00,  /*   Logical Maximum (255) */
    0x75, 0x08,        /*   Report Size (8 bits) */
    0x95, 0x08,        /*   Report Count (8) */
    0x91, 0x02,        /*   Output (Data, Variable, Absolute) */
    0xC0,              /* End Collection */
};

typedef struct _TRANSMITTER {
    KSPIN_LOCK Lock;
    LIST_ENTRY PendingReads; /* guarded by Lock */
    BOOLEAN Removed;         /* guarded by Lock */
    WCHAR Serial[64];
} TRANSMITTER;

static UNICODE_STRING ServiceKey;
/* Serialises the writes of all devices: their count and their order in the log. */
static KMUTEX WriteMutex;

static PHID_DEVICE_EXTENSION HidExtension(PDEVICE_OBJECT device)
{
    return (PHID_DEVICE_EXTENSION)device->DeviceExtension;
}

static TRANSMITTER *Transmitter(PDEVICE_OBJECT device)
{
    return (TRANSMITTER *)HidExtension(device)->MiniDeviceExtension;
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Reads one value of an open key into a caller's buffer; false when it is absent, of another
 * type or too large. */
static BOOLEAN QueryValue(HANDLE key, PCWSTR name, ULONG type, PVOID data, ULONG size)
{
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 520];
    PKEY_VALUE_PARTIAL_INFORMATION value = (PKEY_VALUE_PARTIAL_INFORMATION)buffer;
    UNICODE_STRING valueName;
    ULONG length = 0;

    RtlInitUnicodeString(&valueName, name);
    if (!NT_SUCCESS(ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, value, sizeof(buffer), &length)) ||
        value->Type != type || value->DataLength > size) {
        return FALSE;
    }
    RtlCopyMemory(data, value->Data, value->DataLength);
    return TRUE;
}

typedef struct _SETTINGS {
    WCHAR LogFile[260];
    ULONG FailFromWrite;
    ULONG FailStatus;
    ULONG WriteNumber; /* this write's place in WriteCount */
} SETTINGS;

/* Reads the settings and counts one more write in WriteCount. */
static void CountWrite(SETTINGS *settings)
{
    UNICODE_STRING countName;
    OBJECT_ATTRIBUTES attributes;
    HANDLE key;

    RtlZeroMemory(settings, sizeof(*settings));
    settings->FailStatus = (ULONG)STATUS_DEVICE_NOT_CONNECTED;
    InitializeObjectAttributes(&attributes, &ServiceKey, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ | KEY_SET_VALUE, &attributes))) {
        return;
    }
    /* The path must end in its terminator within the buffer. */
    if (!QueryValue(key, L"LogFile", REG_SZ, settings->LogFile, sizeof(settings->LogFile) - sizeof(WCHAR))) {
        settings->LogFile[0] = 0;
    }
    QueryValue(key, L"FailFromWrite", REG_DWORD, &settings->FailFromWrite, sizeof(ULONG));
    QueryValue(key, L"FailStatus", REG_DWORD, &settings->FailStatus, sizeof(ULONG));
    QueryValue(key, L"WriteCount", REG_DWORD, &settings->WriteNumber, sizeof(ULONG));
    settings->WriteNumber += 1;
    RtlInitUnicodeString(&countName, L"WriteCount");
    ZwSetValueKey(key, &countName, 0, REG_DWORD, &settings->WriteNumber, sizeof(ULONG));
    ZwClose(key);
}

static char *AppendHex(char *at, ULONG value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    int i;
    for (i = digits - 1; i >= 0; --i) {
        at[i] = hex[value & 0xF];
        value >>= 4;
    }
    return at + digits;
}

/* Appends "SERIAL STATUS ID BYTES..." and a line end to the log, when one is set. */
static void LogReport(const SETTINGS *settings, const TRANSMITTER *transmitter, const HID_XFER_PACKET *packet,
                      NTSTATUS status)
{
    char line[64 + 3 * 64 + 16];
    char *at = line;
    WCHAR path[4 + 260];
    UNICODE_STRING pathString;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE file;
    ULONG i;

    if (!settings->LogFile[0]) {
        return;
    }
    for (i = 0; transmitter->Serial[i] && i < 63; ++i) {
        *at++ = (char)(transmitter->Serial[i] < 0x80 ? transmitter->Serial[i] : '?');
    }
    *at++ = ' ';
    at = AppendHex(at, (ULONG)status, 8);
    *at++ = ' ';
    at = AppendHex(at, packet->reportId, 2);
    for (i = 0; i < packet->reportBufferLen && i < 64; ++i) {
        *at++ = ' ';
        at = AppendHex(at, packet->reportBuffer[i], 2);
    }
    *at++ = '\n';

    /* A DOS path becomes an NT path under \??\. */
    path[0] = 0;
    if (settings->LogFile[0] != L'\\') {
        RtlCopyMemory(path, L"\\??\\", 5 * sizeof(WCHAR));
    }
    for (i = 0; path[i]; ++i) {
    }
    RtlCopyMemory(path + i, settings->LogFile, sizeof(settings->LogFile));
    RtlInitUnicodeString(&pathString, path);
    InitializeObjectAttributes(&attributes, &pathString, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (NT_SUCCESS(ZwCreateFile(&file, FILE_APPEND_DATA | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
                                FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0))) {
        ZwWriteFile(file, NULL, NULL, NULL, &io, line, (ULONG)(at - line), NULL, NULL);
        ZwClose(file);
    }
}

typedef struct _WRITE_WORK {
    PIO_WORKITEM Item;
    PIRP Irp;
} WRITE_WORK;

/* Records one output report and completes its request: at passive level, in a work item. */
static VOID NTAPI WriteReport(PDEVICE_OBJECT device, PVOID context)
{
    WRITE_WORK *work = (WRITE_WORK *)context;
    PIRP irp = work->Irp;
    TRANSMITTER *transmitter = Transmitter(device);
    const HID_XFER_PACKET *packet = (const HID_XFER_PACKET *)irp->UserBuffer;
    SETTINGS settings;
    NTSTATUS status = STATUS_SUCCESS;

    IoFreeWorkItem(work->Item);
    ExFreePoolWithTag(work, TRANSMITTER_TAG);

    KeWaitForSingleObject(&WriteMutex, Executive, KernelMode, FALSE, NULL);
    CountWrite(&settings);
    if (settings.FailFromWrite != 0 && settings.WriteNumber >= settings.FailFromWrite) {
        status = (NTSTATUS)settings.FailStatus;
    }
    LogReport(&settings, transmitter, packet, status);
    KeReleaseMutex(&WriteMutex, FALSE);
    Complete(irp, status, NT_SUCCESS(status) ? packet->reportBufferLen : 0);
}

static NTSTATUS QueueWrite(PDEVICE_OBJECT device, PIRP irp)
{
    const HID_XFER_PACKET *packet = (const HID_XFER_PACKET *)irp->UserBuffer;
    WRITE_WORK *work;

    if (packet == NULL || packet->reportBuffer == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    work = (WRITE_WORK *)ExAllocatePoolWithTag(NonPagedPool, sizeof(*work), TRANSMITTER_TAG);
    if (work == NULL) {
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    work->Item = IoAllocateWorkItem(device);
    if (work->Item == NULL) {
        ExFreePoolWithTag(work, TRANSMITTER_TAG);
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    work->Irp = irp;
    IoMarkIrpPending(irp);
    IoQueueWorkItem(work->Item, WriteReport, DelayedWorkQueue, work);
    return STATUS_PENDING;
}

static VOID NTAPI CancelRead(PDEVICE_OBJECT device, PIRP irp)
{
    TRANSMITTER *transmitter = Transmitter(device);
    KIRQL irql;

    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&transmitter->Lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&transmitter->Lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Holds a read request until it is cancelled or the device goes away: there is never input. */
static NTSTATUS HoldRead(PDEVICE_OBJECT device, PIRP irp)
{
    TRANSMITTER *transmitter = Transmitter(device);
    KIRQL irql;

    KeAcquireSpinLock(&transmitter->Lock, &irql);
    if (transmitter->Removed) {
        KeReleaseSpinLock(&transmitter->Lock, irql);
        return Complete(irp, STATUS_DELETE_PENDING, 0);
    }
    IoSetCancelRoutine(irp, CancelRead);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        /* Cancelled before the routine was set, and it will not run: complete it here. */
        KeReleaseSpinLock(&transmitter->Lock, irql);
        return Complete(irp, STATUS_CANCELLED, 0);
    }
    IoMarkIrpPending(irp);
    InsertTailList(&transmitter->PendingReads, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&transmitter->Lock, irql);
    return STATUS_PENDING;
}

/* Completes every held read; with `removed`, refuses the reads that come after. */
static void CompleteHeldReads(PDEVICE_OBJECT device, BOOLEAN removed)
{
    TRANSMITTER *transmitter = Transmitter(device);
    LIST_ENTRY completed;
    KIRQL irql;

    InitializeListHead(&completed);
    KeAcquireSpinLock(&transmitter->Lock, &irql);
    if (removed) {
        transmitter->Removed = TRUE;
    }
    while (!IsListEmpty(&transmitter->PendingReads)) {
        PLIST_ENTRY entry = RemoveHeadList(&transmitter->PendingReads);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, NULL) == NULL) {
            /* Its cancel routine is running and will complete it; leave it a list of its own
             * to remove itself from. */
            InitializeListHead(entry);
            continue;
        }
        InsertTailList(&completed, entry);
    }
    KeReleaseSpinLock(&transmitter->Lock, irql);
    while (!IsListEmpty(&completed)) {
        PLIST_ENTRY entry = RemoveHeadList(&completed);
        Complete(CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry), STATUS_DELETE_PENDING, 0);
    }
}

static NTSTATUS CopyOut(PIRP irp, const void *data, ULONG size)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (irp->UserBuffer == NULL || stack->Parameters.DeviceIoControl.OutputBufferLength < size) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    RtlCopyMemory(irp->UserBuffer, data, size);
    return Complete(irp, STATUS_SUCCESS, size);
}

static NTSTATUS GetString(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
    PCWSTR text;
    ULONG size;

    /* Wine 8's class driver asks for the strings as 1, 2 and 3, not as the documented IDs. */
    switch (id) {
    case HID_STRING_ID_IMANUFACTURER:
    case 1:
        text = L"Kestrova tuner plug-ins";
        break;
    case HID_STRING_ID_IPRODUCT:
    case 2:
        text = L"Virtual key transmitter";
        break;
    case HID_STRING_ID_ISERIALNUMBER:
    case 3:
        text = Transmitter(device)->Serial;
        break;
    default:
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    for (size = 0; text[size]; ++size) {
    }
    return CopyOut(irp, text, (size + 1) * sizeof(WCHAR));
}

static NTSTATUS NTAPI InternalDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case TRANSMITTER_IOCTL_GET_DEVICE_DESCRIPTOR: {
        HID_DESCRIPTOR descriptor;
        descriptor.bLength = sizeof(descriptor);
        descriptor.bDescriptorType = HID_HID_DESCRIPTOR_TYPE;
        descriptor.bcdHID = 0x0111;
        descriptor.bCountry = 0;
        descriptor.bNumDescriptors = 1;
        descriptor.DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
        descriptor.DescriptorList[0].wReportLength = sizeof(ReportDescriptor);
        return CopyOut(irp, &descriptor, sizeof(descriptor));
    }
    case TRANSMITTER_IOCTL_GET_REPORT_DESCRIPTOR:
        return CopyOut(irp, ReportDescriptor, sizeof(ReportDescriptor));
    case TRANSMITTER_IOCTL_GET_DEVICE_ATTRIBUTES: {
        HID_DEVICE_ATTRIBUTES attributes;
        RtlZeroMemory(&attributes, sizeof(attributes));
        attributes.Size = sizeof(attributes);
        attributes.VendorID = 0x6666;
        attributes.ProductID = 0xF100;
        attributes.VersionNumber = TRANSMITTER_VERSION;
        return CopyOut(irp, &attributes, sizeof(attributes));
    }
    case TRANSMITTER_IOCTL_GET_STRING:
        return GetString(device, irp);
    case TRANSMITTER_IOCTL_ACTIVATE_DEVICE:
        return Complete(irp, STATUS_SUCCESS, 0);
    case TRANSMITTER_IOCTL_DEACTIVATE_DEVICE:
        CompleteHeldReads(device, FALSE);
        return Complete(irp, STATUS_SUCCESS, 0);
    case TRANSMITTER_IOCTL_READ_REPORT:
        return HoldRead(device, irp);
    case TRANSMITTER_IOCTL_WRITE_REPORT:
    case TRANSMITTER_IOCTL_SET_OUTPUT_REPORT:
        return QueueWrite(device, irp);
    default:
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* Plug and Play requests go down to the device below. When the device goes away, the reads it
 * holds are completed first. */
static NTSTATUS NTAPI Pnp(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);

    switch (stack->MinorFunction) {
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
        CompleteHeldReads(device, TRUE);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(HidExtension(device)->NextDeviceObject, irp);
}

static NTSTATUS NTAPI Power(PDEVICE_OBJECT device, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(HidExtension(device)->NextDeviceObject, irp);
}

/* The device's serial number: its device key's SerialNumber, or "KT-VIRTUAL". */
static void ReadSerial(PDEVICE_OBJECT physical, TRANSMITTER *transmitter)
{
    static const WCHAR fallback[] = L"KT-VIRTUAL";
    HANDLE key;

    RtlCopyMemory(transmitter->Serial, fallback, sizeof(fallback));
    if (NT_SUCCESS(IoOpenDeviceRegistryKey(physical, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) {
        WCHAR serial[64];
        RtlZeroMemory(serial, sizeof(serial));
        if (QueryValue(key, L"SerialNumber", REG_SZ, serial, sizeof(serial) - sizeof(WCHAR)) && serial[0]) {
            RtlCopyMemory(transmitter->Serial, serial, sizeof(serial));
        }
        ZwClose(key);
    }
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT device)
{
    TRANSMITTER *transmitter = Transmitter(device);

    (void)driver;
    RtlZeroMemory(transmitter, sizeof(*transmitter));
    KeInitializeSpinLock(&transmitter->Lock);
    InitializeListHead(&transmitter->PendingReads);
    ReadSerial(HidExtension(device)->PhysicalDeviceObject, transmitter);
    device->Flags &= ~(ULONG)DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver)
{
    (void)driver;
    if (ServiceKey.Buffer != NULL) {
        ExFreePoolWithTag(ServiceKey.Buffer, TRANSMITTER_TAG);
        ServiceKey.Buffer = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    HID_MINIDRIVER_REGISTRATION registration;
    NTSTATUS status;

    ServiceKey.Length = 0;
    ServiceKey.MaximumLength = (USHORT)(registryPath->Length + sizeof(WCHAR));
    ServiceKey.Buffer = (PWCH)ExAllocatePoolWithTag(NonPagedPool, ServiceKey.MaximumLength, TRANSMITTER_TAG);
    if (ServiceKey.Buffer == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlCopyUnicodeString(&ServiceKey, registryPath);
    KeInitializeMutex(&WriteMutex, 0);

    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = InternalDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = Pnp;
    driver->MajorFunction[IRP_MJ_POWER] = Power;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;

    RtlZeroMemory(&registration, sizeof(registration));
    registration.Revision = HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(TRANSMITTER);
    registration.DevicesArePolled = FALSE;
    status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) {
        Unload(driver);
    }
    return status;
}
