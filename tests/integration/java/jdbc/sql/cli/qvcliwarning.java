package jdbc.sql.cli;

import java.sql.SQLWarning;

/** What the natives chain onto a connection or statement for a call that succeeded with information. */
public class qvcliwarning extends SQLWarning {
    private static final long serialVersionUID = 1L;

    public qvcliwarning(String message, String sqlState, int nativeCode) {
        super(message, sqlState, nativeCode);
    }
}
