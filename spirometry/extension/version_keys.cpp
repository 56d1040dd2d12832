// The module's version keys, in a section of their own so that the host reads them from the file before
// it loads the module: NUL-separated key and value texts, ending with an empty key.
#define KEY(k, v) k "\0" v "\0"

extern "C" __attribute__((used, section(".kfwext_version"))) const char kKfwextVersionKeys[] =
    KEY("ExtensionType", "Extension") KEY("ExtensionCLSID", "{7D3B3DE4-81B3-11d3-A6E2-005004D0F872}")
        KEY("ExtensionVersion", "2.5.3") KEY("InternalVersion", "18.00") KEY("InternalID", "1")
            KEY("AllNames", "Spirometry") KEY("FileDescription", "Spirometry") KEY("InternalName", "Spirometry")
                KEY("FileVersion", "2.5.3400.0") KEY("OriginalFilename", "Spirometry(8u).KfwExt");
