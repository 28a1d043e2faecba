/*
 * ox9162-card: a conventional PCI function whose BAR4 is answered by the stand-in's
 * card model (sim/card_device.h), loaded from the library that the property "model"
 * names, so the guest's card behaves exactly as the stand-in's and the model has one
 * home. Built into QEMU by scripts/vm_qemu.sh.
 *
 *   -device ox9162-card,model=/path/liboxsim_card_device.so,vendor=0x1b5e,card=0123
 *   card: "DID" or "DID:fault,..." as in OX9162_SIM_CARDS without the position
 */
#include "qemu/osdep.h"

#include "hw/pci/pci.h"
#include "hw/qdev-properties.h"
#include "qapi/error.h"
#include "qemu/module.h"
#include "qom/object.h"

#include <dlfcn.h>

#include "card_device.h"

#define TYPE_OX9162_CARD "ox9162-card"
OBJECT_DECLARE_SIMPLE_TYPE(Ox9162CardState, OX9162_CARD)

struct Ox9162CardState {
    PCIDevice parent_obj;
    MemoryRegion bar4;
    char *model_path;
    char *card_text;
    uint16_t vendor;
    void *library;
    OxsimCard *card;
    OxsimCard *(*create)(const char *, char *, size_t);
    void (*destroy)(OxsimCard *);
    uint16_t (*device_id)(const OxsimCard *);
    uint64_t (*read)(OxsimCard *, uint32_t, unsigned);
    void (*write)(OxsimCard *, uint32_t, uint64_t, unsigned);
};

static uint64_t ox9162_card_read(void *opaque, hwaddr addr, unsigned size) {
    Ox9162CardState *s = opaque;
    return s->read(s->card, (uint32_t)addr, size);
}

static void ox9162_card_write(void *opaque, hwaddr addr, uint64_t value, unsigned size) {
    Ox9162CardState *s = opaque;
    s->write(s->card, (uint32_t)addr, value, size);
}

static const MemoryRegionOps ox9162_card_ops = {
    .read = ox9162_card_read,
    .write = ox9162_card_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
    .valid = {.min_access_size = 1, .max_access_size = 8},
    .impl = {.min_access_size = 1, .max_access_size = 8},
};

static void ox9162_card_unbind(Ox9162CardState *s) {
    if (s->library) {
        dlclose(s->library);
        s->library = NULL;
    }
}

static bool ox9162_card_bind(Ox9162CardState *s, Error **errp) {
    static const char *const names[] = {"oxsim_card_create", "oxsim_card_destroy",
                                        "oxsim_card_device_id", "oxsim_card_read",
                                        "oxsim_card_write"};
    void *found[ARRAY_SIZE(names)];
    size_t i;

    if (!s->model_path) {
        error_setg(errp, "ox9162-card: the property model (the card model library) is missing");
        return false;
    }
    s->library = dlopen(s->model_path, RTLD_NOW | RTLD_LOCAL);
    if (!s->library) {
        error_setg(errp, "ox9162-card: %s", dlerror());
        return false;
    }
    for (i = 0; i < ARRAY_SIZE(names); i++) {
        found[i] = dlsym(s->library, names[i]);
        if (!found[i]) {
            error_setg(errp, "ox9162-card: %s lacks %s", s->model_path, names[i]);
            ox9162_card_unbind(s);
            return false;
        }
    }
    s->create = found[0];
    s->destroy = found[1];
    s->device_id = found[2];
    s->read = found[3];
    s->write = found[4];
    return true;
}

static void ox9162_card_realize(PCIDevice *pdev, Error **errp) {
    Ox9162CardState *s = OX9162_CARD(pdev);
    char why[256] = "";

    if (s->vendor == 0 || s->vendor == 0xffff) {
        error_setg(errp,
                   "ox9162-card: the property vendor (a PCI vendor ID) is missing or invalid");
        return;
    }
    if (!ox9162_card_bind(s, errp)) {
        return;
    }
    s->card = s->create(s->card_text ? s->card_text : "0123", why, sizeof why);
    if (!s->card) {
        error_setg(errp, "ox9162-card: card: %s", why);
        ox9162_card_unbind(s);
        return;
    }
    pci_config_set_vendor_id(pdev->config, s->vendor);
    pci_config_set_device_id(pdev->config, s->device_id(s->card));
    memory_region_init_io(&s->bar4, OBJECT(s), &ox9162_card_ops, s, "ox9162-card-bar4",
                          OXSIM_CARD_WINDOW);
    pci_register_bar(pdev, 4, PCI_BASE_ADDRESS_SPACE_MEMORY, &s->bar4);
}

static void ox9162_card_exit(PCIDevice *pdev) {
    Ox9162CardState *s = OX9162_CARD(pdev);

    if (s->card) {
        s->destroy(s->card);
        s->card = NULL;
    }
    ox9162_card_unbind(s);
}

static Property ox9162_card_properties[] = {
    DEFINE_PROP_STRING("model", Ox9162CardState, model_path),
    DEFINE_PROP_STRING("card", Ox9162CardState, card_text),
    DEFINE_PROP_UINT16("vendor", Ox9162CardState, vendor, 0),
    DEFINE_PROP_END_OF_LIST(),
};

static void ox9162_card_class_init(ObjectClass *klass, void *data) {
    DeviceClass *dc = DEVICE_CLASS(klass);
    PCIDeviceClass *k = PCI_DEVICE_CLASS(klass);

    k->realize = ox9162_card_realize;
    k->exit = ox9162_card_exit;
    k->class_id = PCI_CLASS_OTHERS;
    device_class_set_props(dc, ox9162_card_properties);
    set_bit(DEVICE_CATEGORY_MISC, dc->categories);
}

static void ox9162_card_register_types(void) {
    static InterfaceInfo interfaces[] = {
        {INTERFACE_CONVENTIONAL_PCI_DEVICE},
        {},
    };
    static const TypeInfo info = {
        .name = TYPE_OX9162_CARD,
        .parent = TYPE_PCI_DEVICE,
        .instance_size = sizeof(Ox9162CardState),
        .class_init = ox9162_card_class_init,
        .interfaces = interfaces,
    };

    type_register_static(&info);
}

type_init(ox9162_card_register_types)
