package jdbc.sql.cli;

import java.sql.SQLException;

/**
 * A small check runner for the programs the tests run in a JVM: each check
 * prints one line, and the run ends with "N passed, N failed". A check whose
 * road still answers "Driver not capable" (S1C00, or HYC00 in the ODBC 3
 * environment the natives get) is counted as waiting, not as failed.
 */
final class Checks {
    interface Body {
        void run() throws Exception;
    }

    interface Call {
        Object run() throws Exception;
    }

    /** Thrown by a check whose road is not built yet: the group waits. */
    static final class Wait extends RuntimeException {
        private static final long serialVersionUID = 1L;

        Wait(String why) {
            super(why);
        }
    }

    /** Thrown by a check to give up on the rest of its body. */
    static final class Stop extends RuntimeException {
        private static final long serialVersionUID = 1L;

        Stop(String why) {
            super(why);
        }
    }

    private int passed;
    private int failed;
    private int waiting;

    void pass(String name) {
        passed++;
        System.out.println("PASS " + name);
    }

    void fail(String name, String detail) {
        failed++;
        System.out.println("FAIL " + name + ": " + detail);
    }

    void check(String name, boolean ok, String detail) {
        if (ok) pass(name);
        else fail(name, detail);
    }

    void equal(String name, Object expected, Object actual) {
        boolean same = expected == null ? actual == null : expected.equals(actual);
        check(name, same, "expected <" + show(expected) + "> got <" + show(actual) + ">");
    }

    static String show(Object o) {
        if (o == null) return "null";
        String s = o.toString();
        return s.length() > 200 ? s.substring(0, 200) + "... (" + s.length() + " characters)" : s;
    }

    static boolean notCapable(Throwable t) {
        for (; t != null; t = t.getCause())
            if (t instanceof SQLException
                    && ("S1C00".equals(((SQLException) t).getSQLState())
                        || "HYC00".equals(((SQLException) t).getSQLState()))) return true;
        return false;
    }

    /** Runs a group of checks; an exception escaping it fails the group. */
    void run(String name, Body body) {
        try {
            body.run();
        } catch (Stop s) {
            fail(name, s.getMessage());
        } catch (Wait w) {
            waiting++;
            System.out.println("WAIT " + name + ": " + w.getMessage());
        } catch (Throwable t) {
            if (notCapable(t)) {
                waiting++;
                System.out.println("WAIT " + name + ": " + t.getMessage());
            } else {
                fail(name, "unexpected " + t);
                t.printStackTrace(System.out);
            }
        }
    }

    /** The SQLException the call throws; fails the check when it throws none. */
    SQLException expectThrow(String name, Call call) {
        try {
            Object r = call.run();
            fail(name, "no exception, result <" + show(r) + ">");
            return null;
        } catch (SQLException e) {
            if (notCapable(e)) throw new RuntimeException(e);
            return e;
        } catch (Exception e) {
            fail(name, "unexpected " + e);
            return null;
        }
    }

    /** An exception with exactly this message, SQLSTATE and native code. */
    void expectError(String name, String message, String state, int code, Call call) {
        SQLException e = expectThrow(name, call);
        if (e == null) return;
        equal(name + " message", message, e.getMessage());
        equal(name + " SQLSTATE", state, e.getSQLState());
        equal(name + " native code", code, e.getErrorCode());
    }

    /** Takes over the counts of a runner of another thread. */
    void absorb(Checks other) {
        passed += other.passed;
        failed += other.failed;
        waiting += other.waiting;
    }

    int finish() {
        if (waiting > 0) System.out.println(waiting + " waiting");
        System.out.println(passed + " passed, " + failed + " failed");
        return failed > 0 ? 1 : 0;
    }
}
