/*
 * What both stand-in drivers share: one device with one DOS link, created in
 * DriverEntry and deleted in DriverUnload, opens and closes that always
 * succeed, and one device-control handler per driver. Included once per
 * driver (static functions), so each .sys stays a single translation unit.
 */
#pragma once

#include <ntddk.h>

typedef NTSTATUS (*ControlHandler)(PDEVICE_OBJECT device, PIRP irp);

static ControlHandler g_controlHandler;
static UNICODE_STRING g_linkName;

static NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* IRP_MJ_CREATE, IRP_MJ_CLEANUP and IRP_MJ_CLOSE: a CreateFile with no data
 * access still sends a create, which must succeed for the device to open. */
static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) { return g_controlHandler(device, irp); }

/* Deletes the link first, so no new open reaches a device being deleted. */
static void NTAPI DriverUnload(PDRIVER_OBJECT driver) {
  IoDeleteSymbolicLink(&g_linkName);
  if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

static NTSTATUS CreateDeviceAndLink(PDRIVER_OBJECT driver, PCWSTR deviceName, PCWSTR linkName, ControlHandler handler) {
  UNICODE_STRING device;
  PDEVICE_OBJECT deviceObject = NULL;
  NTSTATUS status;

  g_controlHandler = handler;
  RtlInitUnicodeString(&device, deviceName);
  RtlInitUnicodeString(&g_linkName, linkName);

  driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;

  status = IoCreateDevice(driver, 0, &device, FILE_DEVICE_UNKNOWN, 0, FALSE, &deviceObject);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&g_linkName, &device);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(deviceObject);
    return status;
  }
  return STATUS_SUCCESS;
}
