#include "chips/Driver.h"

namespace quillon {

namespace {

void Add(OperationList& list, Driver::Plain op)
{
    if (op && list.count < list.op.size()) list.op[list.count++] = op;
}

}  // namespace

OperationList LockFuseReadSequence(const Driver& driver)
{
    OperationList list;
    if (driver.ReadFuseLockBits) {
        Add(list, driver.ReadFuseLockBits);
        return list;
    }
    Add(list, driver.ReadLockBits);
    Add(list, driver.ReadFuseExtended);
    Add(list, driver.ReadFuseHigh);
    Add(list, driver.ReadFuseLow);
    return list;
}

OperationList LockFuseWriteSequence(const Driver& driver)
{
    OperationList list;
    Add(list, driver.WriteFuseExtended);
    Add(list, driver.WriteFuseHigh);
    Add(list, driver.WriteFuseLow);
    Add(list, driver.WriteLockBits);  // always last: locking first could bar the fuse writes
    return list;
}

}  // namespace quillon
