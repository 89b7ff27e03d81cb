#pragma once
// Base of objects that can be written to and read from a binary serializer. The defaults
// write and read nothing, so a class overrides only what it stores.

namespace kvo::mod {

class CBinarySerializer;

class CSerializable
{
public:
    virtual ~CSerializable() = default;

    //! Writes the object's blocks to the serializer.
    virtual void serialize(CBinarySerializer&) {}

    //! Reads back what serialize wrote.
    virtual void deserialize(CBinarySerializer&) {}
};

} // namespace kvo::mod
