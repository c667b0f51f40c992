// Root class of morvik's base with run-time class descriptors.
#pragma once

// One static descriptor per class: its name and its parent's descriptor (none for the root).
struct zkCClassDescriptor {
    char Name[36];
    const zkCClassDescriptor* Parent;
};

class zkCObject {
public:
    virtual ~zkCObject() = default;
    virtual const zkCClassDescriptor* GetClassDescriptor() const;
    // True when the object's class is `descriptor` or derives from it.
    bool IsKindOf(const zkCClassDescriptor* descriptor) const;
};

extern const zkCClassDescriptor zkCObject_Class;
extern const zkCClassDescriptor zkCFileDef_Class;
extern const zkCClassDescriptor zkCException_Class;
extern const zkCClassDescriptor zkCFileDefException_Class;
