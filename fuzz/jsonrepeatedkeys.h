#ifndef JSONREPEATEDKEYS_H
#define JSONREPEATEDKEYS_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// Tells whether JSON text repeats a key within one object ({"a":{},"a":1}, also when the two
// are written differently, "a" and "\u0061"). Errs towards yes on text that is no JSON.
//
// QtCore 5.15's parser loses the earlier value of a repeated key when it is an object or an
// array (tests/sanitizers/lsan.supp). The fuzzer looks for leaks after every input, and with
// the fast unwinder QtCore's frames hide which call made them: such inputs are left out of
// the JSON target. The records meet repeated keys all the same in fuzz_dialogue, whose answers
// may hold a parameter with every key twice, as QtCore's stream reader keeps a repeated key.
class JsonRepeatedKeys
{
public:
    static bool present(const QByteArray &json);

private:
    // Reads the string starting after its opening quote; returns the index after its end.
    static int readString(const QByteArray &json, int at, QString *text);
};

#endif // JSONREPEATEDKEYS_H
