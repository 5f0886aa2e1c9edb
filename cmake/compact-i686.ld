/* Setup.exe's layout: three sections. ld sizes the headers for every
   section its script names, so with its own script they take 1,024 bytes of
   the file whatever the program has; three section headers fit the first
   512 bytes with the rest of the headers (a fourth would not), and fewer
   sections lose less of the file to padding.
   - .text: the code, then the read-only data (read and execute).
   - .idata: the imports (the loader writes the addresses of the imported
     functions: kept writable, as every Windows from 95 on expects), the
     data and the zeroed data, whose zeros are written into the file: only
     for a program with little of it.
   - .rsrc: the resources, where Windows and the resource tools look.
   __code_end__ is where the code stops and the read-only data starts: the
   test that reads the code for instructions our oldest processor lacks stops
   there (it takes the address from the link map, Setup.exe.map). Otherwise
   as ld's own script for i386 PE programs. */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    __code_end__ = .;
    *(.rdata)
    *(SORT(.rdata$*))
    /* Both spellings, as ld's own script: the start-up code uses the C one. */
    ___CTOR_LIST__ = .;
    __CTOR_LIST__ = .;
    LONG(-1);
    KEEP(*(.ctors));
    KEEP(*(.ctor));
    KEEP(*(SORT_BY_NAME(.ctors.*)));
    LONG(0);
    ___DTOR_LIST__ = .;
    __DTOR_LIST__ = .;
    LONG(-1);
    KEEP(*(.dtors));
    KEEP(*(.dtor));
    KEEP(*(SORT_BY_NAME(.dtors.*)));
    LONG(0);
  }
  /* Named .idata: ld finds the import directory by that name only. It
     starts the section, with the data and the zeroed data after it. */
  .idata BLOCK(__section_alignment__) :
  {
    /* The import tables in the order of ld's own script (ld sorts the
       members of each import library itself), the directory ended by a
       zero entry; ld finds the import address table by its two symbols. */
    KEEP(SORT(*)(.idata$2))
    KEEP(SORT(*)(.idata$3))
    LONG(0); LONG(0); LONG(0); LONG(0); LONG(0);
    KEEP(SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP(SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP(SORT(*)(.idata$6))
    KEEP(SORT(*)(.idata$7))
    *(.data)
    *(.data2)
    *(SORT(.data$*))
    *(.bss)
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP(*(.rsrc))
    KEEP(*(.rsrc$*))
  }
  /DISCARD/ :
  {
    *(.debug$S)
    *(.debug$T)
    *(.debug$F)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
  }
}
