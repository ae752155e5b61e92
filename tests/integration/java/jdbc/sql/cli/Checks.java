package jdbc.sql.cli;

import java.sql.SQLException;

/**
 * A small check runner for the programs the tests run in a JVM: each check
 * prints one line, and the run ends with "N passed, N failed".
 */
final class Checks {
    interface Body {
        void run() throws Exception;
    }

    interface Call {
        Object run() throws Exception;
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

    /** Runs a group of checks; an exception escaping it fails the group. */
    void run(String name, Body body) {
        try {
            body.run();
        } catch (Stop s) {
            fail(name, s.getMessage());
        } catch (Throwable t) {
            fail(name, "unexpected " + t);
            t.printStackTrace(System.out);
        }
    }

    /** The SQLException the call throws; fails the check when it throws none. */
    SQLException expectThrow(String name, Call call) {
        try {
            Object r = call.run();
            fail(name, "no exception, result <" + show(r) + ">");
            return null;
        } catch (SQLException e) {
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
    }

    int finish() {
        System.out.println(passed + " passed, " + failed + " failed");
        return failed > 0 ? 1 : 0;
    }
}
