/*
 * Stand-in for the product's disk-encryption driver: it creates the device
 * "\Device\VeraCrypt" with the DOS link "VeraCrypt" and answers the two
 * version queries the installer sends. Nothing else; it holds no volumes.
 *
 * Build switches (test-only variants, see CMakeLists.txt):
 *   QRN_DRIVER_VERSION       the 4-byte version it reports (default 0x0119)
 *   QRN_DRIVER_LEGACY_ONLY   reject IOCTL_GET_DRIVER_VERSION, answer only the
 *                            legacy code, as an older driver does
 */
#include <ntddk.h>

#ifndef QRN_DRIVER_VERSION
#define QRN_DRIVER_VERSION 0x0119
#endif

/* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS) = 0x222004 */
#define IOCTL_GET_DRIVER_VERSION CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* CTL_CODE(FILE_DEVICE_DISK, 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS) = 0x72018 */
#define IOCTL_LEGACY_GET_DRIVER_VERSION CTL_CODE(FILE_DEVICE_DISK, 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS)

#include "DriverCommon.h"

static const WCHAR kDeviceName[] = L"\\Device\\VeraCrypt";
static const WCHAR kLinkName[] = L"\\DosDevices\\VeraCrypt";

static NTSTATUS AnswerVersion(PIRP irp, PIO_STACK_LOCATION stack) {
  if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG)) {
    return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
  }
  *(ULONG*)irp->AssociatedIrp.SystemBuffer = QRN_DRIVER_VERSION;
  return CompleteIrp(irp, STATUS_SUCCESS, sizeof(ULONG));
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  (void)device;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
#ifndef QRN_DRIVER_LEGACY_ONLY
    case IOCTL_GET_DRIVER_VERSION:
      return AnswerVersion(irp, stack);
#endif
    case IOCTL_LEGACY_GET_DRIVER_VERSION:
      return AnswerVersion(irp, stack);
    default:
      return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  return CreateDeviceAndLink(driver, kDeviceName, kLinkName, DispatchControl);
}
