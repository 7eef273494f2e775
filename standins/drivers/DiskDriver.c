/*
 * Stand-in for the product's virtual-disk driver: it only creates the device
 * "\Device\Velmdisk" and its DOS link, so that "\\.\Velmdisk" opens. The
 * installer never asks it anything.
 */
#include <ntddk.h>

#include "DriverCommon.h"

static const WCHAR kDeviceName[] = L"\\Device\\Velmdisk";
static const WCHAR kLinkName[] = L"\\DosDevices\\Velmdisk";

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  return CreateDeviceAndLink(driver, kDeviceName, kLinkName, DispatchControl);
}
