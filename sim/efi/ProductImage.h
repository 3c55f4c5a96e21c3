// The product image the launcher carries: the bytes of TouchUpdate.efi,
// unchanged, as the build produced them.
#ifndef TOUCH_SIM_EFI_PRODUCT_IMAGE_H_
#define TOUCH_SIM_EFI_PRODUCT_IMAGE_H_

#include "platform/Uefi.h"

extern const UINT8 gProductImage[];
extern const UINTN gProductImageSize;

#endif  // TOUCH_SIM_EFI_PRODUCT_IMAGE_H_
