#pragma once
// The base of every error object the program raises: it carries a message text.
#include <exception>
#include "AnsiString.h"

class Exception : public std::exception {
public:
    explicit Exception(const AnsiString& message) : Message(message) {}
    ~Exception() override = default;
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

#define TIKORA_EXCEPTION_CLASS(Name, Base) \
    class Name : public Base {             \
    public:                                \
        using Base::Base;                  \
    }

TIKORA_EXCEPTION_CLASS(EConvertError, Exception);
TIKORA_EXCEPTION_CLASS(ERangeError, Exception);
TIKORA_EXCEPTION_CLASS(EListError, Exception);
TIKORA_EXCEPTION_CLASS(EStreamError, Exception);
TIKORA_EXCEPTION_CLASS(EFOpenError, EStreamError);
TIKORA_EXCEPTION_CLASS(EFCreateError, EStreamError);
TIKORA_EXCEPTION_CLASS(EReadError, EStreamError);
TIKORA_EXCEPTION_CLASS(EWriteError, EStreamError);
TIKORA_EXCEPTION_CLASS(EInOutError, Exception);
TIKORA_EXCEPTION_CLASS(EOutOfResources, Exception);
TIKORA_EXCEPTION_CLASS(EInvalidOperation, Exception);
TIKORA_EXCEPTION_CLASS(EAbort, Exception);
