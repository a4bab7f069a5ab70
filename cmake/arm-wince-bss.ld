/* Added to CeGCC's default linker script (arm_wince_pe.x) when the device's velmot.exe is
   linked; cmake/device.cmake says why. The default script puts .bss and COMMON at the end
   of the .data section; here they get a .bss section of their own, which ld declares as
   uninitialized data without raw data in the file (SizeOfRawData and PointerToRawData 0),
   and which the Windows CE loader therefore maps all zero. ld reads this script before the
   default one, so these patterns take the input sections first; INSERT then places the
   section after .data and keeps the rest of the default script. */
SECTIONS
{
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(COMMON)
  }
}
INSERT AFTER .data;
