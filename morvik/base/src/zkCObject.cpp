#include <morvik/base/zkCObject.h>

const zkCClassDescriptor zkCObject_Class = {"zkCObject", nullptr};
const zkCClassDescriptor zkCFileDef_Class = {"zkCFileDef", &zkCObject_Class};
const zkCClassDescriptor zkCException_Class = {"zkCException", &zkCObject_Class};
const zkCClassDescriptor zkCFileDefException_Class = {"zkCFileDefException", &zkCException_Class};

const zkCClassDescriptor* zkCObject::GetClassDescriptor() const { return &zkCObject_Class; }

bool zkCObject::IsKindOf(const zkCClassDescriptor* descriptor) const {
    for (const zkCClassDescriptor* d = GetClassDescriptor(); d != nullptr; d = d->Parent) {
        if (d == descriptor) return true;
    }
    return false;
}
