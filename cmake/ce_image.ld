/* How the device's programs are linked (arm-none-eabi-ld) before cmake/ce_image.py writes
   the Windows CE image: every section at its address in the image, each on pages of its own
   after the first page, which holds the image's headers, and .bss last, without file data.
   __image_base__ is given on the command line (--defsym), so that the import tables, written
   relative to it, and this script agree. */
ENTRY(WinMain)

SECTIONS
{
  . = __image_base__ + 0x1000;
  .text : { *(.text .text.*) }
  . = ALIGN(0x1000);
  .rdata : { *(.rodata .rodata.*) }
  . = ALIGN(0x1000);
  .data : { *(.data .data.*) }
  . = ALIGN(0x1000);
  .idata : { *(.idata) }
  . = ALIGN(0x1000);
  .bss (NOLOAD) : { *(.bss .bss.*) *(COMMON) }

  /* Nothing runs before WinMain: a static constructor would never be called. */
  .init_array : { *(.init_array .init_array.* .ctors .ctors.*) }
  ASSERT(SIZEOF(.init_array) == 0, "the device program has static constructors, which nothing would run")

  /DISCARD/ : { *(.ARM.exidx* .ARM.extab* .ARM.attributes .comment .note*) }
}
